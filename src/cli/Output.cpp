#include "cli/Output.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace veltro::cli {

namespace {

constexpr int kBarCells = 20;

int TerminalColumns()
{
    struct winsize size {};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

// The first `columns` characters of a UTF-8 text, never cutting one in two.
std::string FirstColumns(const std::string& text, int columns)
{
    size_t end = 0;
    for (int shown = 0; end < text.size() && shown < columns; ++shown) {
        ++end;
        while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
            ++end;
    }
    return text.substr(0, end);
}

}  // namespace

Output::Output(std::string program, bool json, bool quiet)
    : program_(std::move(program)), json_(json), quiet_(quiet), bar_(!quiet && ::isatty(STDERR_FILENO) == 1)
{
}

void Output::Progress(const std::string& line)
{
    if (quiet_)
        return;
    ClearBar();
    std::fprintf(stderr, "%s\n", line.c_str());
}

void Output::Error(const std::string& line)
{
    ClearBar();
    std::fprintf(stderr, "%s: %s\n", program_.c_str(), line.c_str());
}

bool Output::Result(const std::string& line)
{
    ClearBar();
    if (std::fputs(line.c_str(), stdout) < 0 || std::fputc('\n', stdout) == EOF)
        return false;
    return std::fflush(stdout) == 0;
}

void Output::Bar(double fraction, const std::string& text)
{
    if (!bar_)
        return;
    const int filled = std::clamp(static_cast<int>(fraction * kBarCells + 0.5), 0, kBarCells);
    std::string line(1, '[');
    line.append(static_cast<size_t>(filled), '#').append(static_cast<size_t>(kBarCells - filled), '.');
    line.append("] ").append(text);
    // One column short of the width, so the terminal never wraps the line.
    line = FirstColumns(line, TerminalColumns() - 1);
    std::fprintf(stderr, "\r%s\033[K", line.c_str());
    std::fflush(stderr);
    barShown_ = true;
}

void Output::ClearBar()
{
    if (!barShown_)
        return;
    std::fputs("\r\033[K", stderr);
    barShown_ = false;
}

}  // namespace veltro::cli
