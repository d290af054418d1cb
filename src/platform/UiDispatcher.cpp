#include "UiDispatcher.h"

#include "DebugOutput.h"
#include "ManualUiDispatcher.h"

#include <atomic>

namespace veltro::platform {

UiDispatcher::UiDispatcher() : uiThread_(std::this_thread::get_id()) {}

UiDispatcher::~UiDispatcher() = default;

void UiDispatcher::InvokeAndWait(const Task& task)
{
    if (IsUiThread()) {
        task();
        return;
    }
    auto item = std::make_shared<HandOver>();
    item->task = task;
    {
        std::lock_guard lock(mutex_);
        handOvers_.push_back(item);
    }
    cv_.notify_all();
    WakeForHandOver();
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [&] { return item->done; });
    if (item->error)
        std::rethrow_exception(item->error);
}

int UiDispatcher::ServeHandOvers()
{
    int served = 0;
    for (;;) {
        std::shared_ptr<HandOver> item;
        {
            std::lock_guard lock(mutex_);
            if (handOvers_.empty())
                break;
            item = handOvers_.front();
            handOvers_.pop_front();
        }
        try {
            item->task();
        } catch (...) {
            item->error = std::current_exception();
        }
        {
            std::lock_guard lock(mutex_);
            item->done = true;
        }
        cv_.notify_all();
        ++served;
    }
    return served;
}

void UiDispatcher::WaitServing(const std::function<bool()>& done, std::chrono::milliseconds poll)
{
    for (;;) {
        ServeHandOvers();
        if (done())
            return;
        std::unique_lock lock(mutex_);
        cv_.wait_for(lock, poll, [&] { return !handOvers_.empty(); });
    }
}

namespace {
std::atomic<UiDispatcher*> g_installed{nullptr};
std::mutex g_fallbackMutex;
std::unique_ptr<UiDispatcher> g_fallback;

std::mutex g_handlerMutex;
ExceptionHandler g_handler;
}  // namespace

UiDispatcher* InstallUiDispatcher(UiDispatcher* dispatcher)
{
    return g_installed.exchange(dispatcher);
}

UiDispatcher& Ui()
{
    if (UiDispatcher* d = g_installed.load())
        return *d;
    std::lock_guard lock(g_fallbackMutex);
    if (!g_fallback)
        g_fallback = std::make_unique<ManualUiDispatcher>();
    UiDispatcher* expected = nullptr;
    g_installed.compare_exchange_strong(expected, g_fallback.get());
    return *g_installed.load();
}

ExceptionHandler SetExceptionHandler(ExceptionHandler handler)
{
    std::lock_guard lock(g_handlerMutex);
    std::swap(g_handler, handler);
    return handler;
}

std::string ExceptionMessage(std::exception_ptr error)
{
    try {
        if (error)
            std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
    }
    return "Unknown error";
}

void ReportException(std::exception_ptr error)
{
    ExceptionHandler handler;
    {
        std::lock_guard lock(g_handlerMutex);
        handler = g_handler;
    }
    if (handler) {
        handler(error);
        return;
    }
    DebugOutput("Unhandled exception: " + ExceptionMessage(error));
}

}  // namespace veltro::platform
