// The four engine entry points as Zelk calls them. They point at the engine
// itself; the tests point them at stand-ins to watch what the shell hands over.
#ifndef ZELK_ENGINECALLS_H
#define ZELK_ENGINECALLS_H

struct EngineCalls {
    bool (*init)(const char* basePath);
    bool (*exit)();
    bool (*writeHtml)(const char* text, const char* path);
    int (*importUserDict)(const char* listPath);

    // The calls in use (the engine's own unless a test replaced them).
    static EngineCalls& Current();
    // Points Current() back at the engine.
    static void Reset();
};

#endif
