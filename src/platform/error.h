#pragma once

#include <stdexcept>
#include <string>

namespace fraglane {

// The one exception type of the core. Its message is the text the operator sees, word for word
// ("Cannot create file %s", "Unable to write to %s", "File "x" not found!", ...).
class Error : public std::runtime_error {
public:
    explicit Error(const std::string& message) : std::runtime_error(message) {}
};

// A folder the program writes into refuses what is written (no room left, a size limit, no
// permission, an I/O error). Unlike a damaged archive, which is passed by, this ends the
// work: whatever it wrote next would fail alike.
class OutputError : public Error {
public:
    using Error::Error;
};

}  // namespace fraglane
