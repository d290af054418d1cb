#pragma once
// Where a command's words go. Results on stdout: lines for a person, or with --json one
// JSON object per result, flushed at once so a pipe sees every station or poll cycle as
// it comes. Progress (the steps of a run, the search's progress) and errors on stderr;
// --silenzioso keeps the progress back, never an error. On a terminal the search shows
// its progress as one line drawn over itself.

#include "cli/Json.h"

#include <string>

namespace veltro::cli {

class Output {
public:
    // program: what errors start with, e.g. "veltro leggi".
    Output(std::string program, bool json, bool quiet);

    bool Json() const { return json_; }
    bool Quiet() const { return quiet_; }

    // A line of progress on stderr, unless quiet.
    void Progress(const std::string& line);
    // An error on stderr, after the program's name.
    void Error(const std::string& line);
    // A result line, or a JSON object, on stdout. False once stdout cannot be written
    // (a pipe whose reader has gone): a stream then ends.
    bool Result(const std::string& line);
    bool Result(const JsonObject& object) { return Result(object.Text()); }

    // Draws the progress line, when stderr is a terminal and not quiet: a bar for fraction
    // (0-1), then text, cut to the terminal's width.
    void Bar(double fraction, const std::string& text);

private:
    // Removes the progress line so that another line can be written.
    void ClearBar();

    std::string program_;
    bool json_;
    bool quiet_;
    bool bar_;
    bool barShown_ = false;
};

}  // namespace veltro::cli
