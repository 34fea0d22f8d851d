#include <cstdio>

#include "engine/morv.h"
#include "tools/morv/MorvApp.h"
#include "tools/morv/MorvOptions.h"

int main(int argc, char** argv)
{
    MorvOptions options;
    switch (options.Parse(argc, argv)) {
    case MorvOptions::Action::Help:
        std::fputs(MorvOptions::Usage(), stdout);
        return 0;
    case MorvOptions::Action::Version:
        std::printf("morv %s\n", morv_version());
        return 0;
    case MorvOptions::Action::Error:
        std::fprintf(stderr, "morv: %s\nTry 'morv --help' for more information.\n", options.error.c_str());
        return MorvApp::kFileTrouble;
    case MorvOptions::Action::Run:
        break;
    }
    static char outBuffer[1 << 18];
    std::setvbuf(stdout, outBuffer, _IOFBF, sizeof outBuffer);
    MorvApp app(stdout, stderr);
    return app.Run(options);
}
