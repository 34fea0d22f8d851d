#pragma once

#include <string>

// Holds a work directory for one morv-eval run. Two runs training into the
// same directory would each score the other's models and --set keys; the
// second is refused while the first holds the lock. The lock is an flock on
// a file inside the directory, so a run that dies releases it.
class WorkDirLock {
public:
    WorkDirLock() = default;
    WorkDirLock(const WorkDirLock&) = delete;
    WorkDirLock& operator=(const WorkDirLock&) = delete;
    ~WorkDirLock();

    // Creates the directory if needed. False, with the reason in *error,
    // when it cannot be made or another run holds it.
    bool Take(const std::string& dir, std::string* error);
    void Release();

private:
    int fd = -1;
};
