#ifndef MORV_TOOLS_INTERRUPTCLEANUP_H
#define MORV_TOOLS_INTERRUPTCLEANUP_H

#include <csignal>
#include <string>

// Removes the temporary files of unfinished outputs when a signal ends the
// process (Ctrl-C, kill, a closed terminal or pipe), then lets the signal end
// it as it would have: an interrupted `morv -o FILE` leaves FILE as it was and
// nothing beside it. A signal the process ignores (nohup, a background job of
// a script) stays ignored.
class InterruptCleanup {
public:
    // Keeps these signals from arriving while a file is created or renamed, so
    // that no temporary file exists that the handler does not know of. The
    // command has no other thread then, so the calling thread's mask suffices.
    class Blocked {
    public:
        Blocked();
        ~Blocked();
        Blocked(const Blocked&) = delete;
        Blocked& operator=(const Blocked&) = delete;

    private:
        sigset_t saved;
    };

    // Removes path if a signal ends the process before Forget; installs the
    // handlers on first use. Returns a slot for Forget, or -1 when every slot
    // is taken or the path is too long (the file is then only left behind).
    static int Remember(const std::string& path);
    static void Forget(int slot);
};

#endif
