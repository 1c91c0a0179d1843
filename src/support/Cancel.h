#pragma once

// Giving up an operation part-way. An operation the operator may abandon (the
// search for the receiver's rate, which can take minutes when nothing
// answers) runs inside a Cancel::Scope. A request made during it (the main
// window's close box) makes the pauses and reply waits return at once, and
// the operation ends without sending anything more.
namespace Cancel {

// Marks an operation that may be given up, for its lifetime; a request made
// during it ends with it.
class Scope {
public:
    Scope();
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;
};

// Gives up the operation under way; no effect when none may be given up.
void Request();
// True from a request until the end of its scope.
bool Requested();

} // namespace Cancel
