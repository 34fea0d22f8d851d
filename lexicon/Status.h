#ifndef MORV_STATUS_H
#define MORV_STATUS_H

#include <string>
#include <utility>

// The outcome of an internal call: what went wrong, as a kind the caller acts
// on, and the message a person reads. Callers decide by the kind, never by
// looking into the message, so a message can be reworded without changing what
// the library reports.
struct Status {
    enum Code {
        kOk,
        kArgument, // a value the call cannot take
        kEncoding, // text that is not valid in its encoding
        kNul,      // a NUL byte inside a text
        kTag,      // a tag name the tag set does not have
        kList,     // a word list line that cannot be used
    };

    Code code = kOk;
    std::string message;

    Status() = default;
    Status(Code c, std::string text) : code(c), message(std::move(text)) {}

    bool Ok() const { return code == kOk; }
    // The same failure with `prefix` before its message (a place, a step).
    Status Within(const std::string& prefix) const { return Status(code, prefix + message); }
};

#endif
