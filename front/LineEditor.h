// The prompt of the interactive session: line editing, history and Tab completion with
// libedit where the build has it, else a plain prompt. A Ctrl-C at the prompt clears the
// line; Ctrl-D ends the session; a line over kMaxLine or a failed read ends it as well.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

class LineEditor {
  public:
    enum class Result { Line, Interrupted, End, Failed };

    /// Longer lines are refused, typed or read from a file: no command line of this tool
    /// comes near it, and memory stays bounded whatever arrives.
    static constexpr std::size_t kMaxLine = std::size_t{64} * 1024;

    LineEditor();
    ~LineEditor();
    LineEditor(const LineEditor&) = delete;
    LineEditor& operator=(const LineEditor&) = delete;

    /// Shows "pmc10> " and reads one line, without its line end.
    Result read(std::string& line);
    /// After Result::Failed: the reason, one line, and the exit status it gives.
    std::string failure() const;
    int failureStatus() const;
    /// Adds a line to the history, which is saved at once.
    void remember(const std::string& line);

    /// $XDG_STATE_HOME/pmc10/history, else ~/.local/state/pmc10/history; empty if neither.
    static std::string historyPath();

    /// What the editor keeps between lines (reached from libedit's callbacks too).
    struct State;

  private:
    std::unique_ptr<State> state_;
};
