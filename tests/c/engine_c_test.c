/* The engine's header compiles as C and its entry points link and behave as a C
 * caller expects. Usage: engine_c_test WORKDIR (created if missing). */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/Engine.h"

static int failures = 0;
#define CHECK(cond)                                                                  \
    do {                                                                             \
        if (!(cond)) {                                                               \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            ++failures;                                                              \
        }                                                                            \
    } while (0)

static void write_file(const char* path, const char* text)
{
    FILE* f = fopen(path, "wb");
    if (f) {
        fputs(text, f);
        fclose(f);
    }
}

static char* read_file(const char* path)
{
    FILE* f = fopen(path, "rb");
    if (!f)
        return NULL;
    static char buf[4096];
    size_t n = fread(buf, 1, sizeof buf - 1, f);
    buf[n] = 0;
    fclose(f);
    return buf;
}

int main(int argc, char** argv)
{
    const char* base = argc > 1 ? argv[1] : "c_test_base";
    char path[2048];
    char expected[2048];
    mkdir(base, 0755);
    snprintf(path, sizeof path, "%s/Data", base);
    mkdir(path, 0755);
    snprintf(path, sizeof path, "%s/Data/charset.type", base);
    unlink(path);

    /* Log on, data directory without charset.type: one line for the first missing file. */
    snprintf(path, sizeof path, "%s/Configure.xml", base);
    write_file(path, "<Log>on</Log><TagSet>tags.txt</TagSet>");
    CHECK(!EngineInit(base));
    snprintf(path, sizeof path, "%s/Morv.log", base);
    snprintf(expected, sizeof expected, "Cannot open file %s/Data/charset.type.\n", base);
    const char* log = read_file(path);
    CHECK(log != NULL && strcmp(log, expected) == 0);
    CHECK(EngineExit());
    log = read_file(path);
    strcat(expected, "Begin Destroy\nEnd Destroy\n");
    CHECK(log != NULL && strcmp(log, expected) == 0);

    /* Log off: fails silently, no log file appears. */
    unlink(path);
    snprintf(path, sizeof path, "%s/Configure.xml", base);
    write_file(path, "<Log>off</Log>");
    CHECK(!EngineInit(base));
    snprintf(path, sizeof path, "%s/Morv.log", base);
    CHECK(access(path, F_OK) != 0);

    /* An empty configuration fails with no log. */
    snprintf(path, sizeof path, "%s/Configure.xml", base);
    write_file(path, "");
    CHECK(!EngineInit(base));
    snprintf(path, sizeof path, "%s/Morv.log", base);
    CHECK(access(path, F_OK) != 0);
    CHECK(EngineExit());

    /* Not initialised: no page, no import. */
    snprintf(path, sizeof path, "%s/result.htm", base);
    unlink(path);
    CHECK(!EngineWriteHtml("text", path));
    CHECK(access(path, F_OK) != 0);
    CHECK(EngineImportUserDict("no-such-list.txt") == 0);

    if (failures == 0)
        printf("engine_c_test: all checks passed\n");
    return failures == 0 ? 0 : 1;
}
