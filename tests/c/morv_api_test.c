/* The library's C interface from a C11 program: open a model, analyse UTF-8 and
 * GBK text, add a word, and read the errors. Usage: morv_api_test MODEL_DIR
 * (skips, exit 77, when MODEL_DIR holds no Configure.xml). */
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include "engine/morv.h"

static int failures = 0;
#define CHECK(cond)                                                                  \
    do {                                                                             \
        if (!(cond)) {                                                               \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            ++failures;                                                              \
        }                                                                            \
    } while (0)

int main(int argc, char** argv)
{
    char config[4096];
    struct stat st;
    if (argc < 2 || snprintf(config, sizeof config, "%s/Configure.xml", argv[1]) >= (int)sizeof config ||
        stat(config, &st) != 0) {
        fprintf(stderr, "morv_api_test: no model in %s; skipped\n", argc > 1 ? argv[1] : "(none)");
        return 77;
    }
    CHECK(strcmp(morv_version(), MORV_VERSION_STRING) == 0);

    morv_model* bad = NULL;
    CHECK(morv_model_open("/nonexistent", &bad) == MORV_E_MODEL);
    CHECK(bad == NULL);
    CHECK(strstr(morv_last_error(), "/nonexistent/Configure.xml") != NULL);

    morv_model* model = NULL;
    CHECK(morv_model_open(argv[1], &model) == MORV_OK);
    if (model == NULL)
        return 1;
    morv_analyzer* analyzer = NULL;
    CHECK(morv_analyzer_new(model, &analyzer) == MORV_OK);

    /* 他在北京工作。 */
    const char* text = "\xE4\xBB\x96\xE5\x9C\xA8\xE5\x8C\x97\xE4\xBA\xAC\xE5\xB7\xA5\xE4\xBD\x9C\xE3\x80\x82";
    const morv_token* tokens = NULL;
    size_t count = 0;
    CHECK(morv_analyze(analyzer, text, MORV_NUL_TERMINATED, MORV_UTF8, &tokens, &count) == MORV_OK);
    CHECK(count == 5);
    size_t at = 0;
    for (size_t i = 0; i < count; ++i) {
        CHECK(tokens[i].start == at);
        CHECK(tokens[i].word == text + tokens[i].start);
        at = tokens[i].end;
    }
    CHECK(at == strlen(text));
    if (count == 5) {
        CHECK(strcmp(tokens[2].tag, "ns") == 0);
        CHECK((tokens[2].flags & MORV_FLAG_PLACE) != 0);
        CHECK(tokens[2].char_start == 2 && tokens[2].char_end == 4);
        CHECK((tokens[4].flags & MORV_FLAG_SENTENCE_END) != 0);
    }

    /* The same in GBK. */
    const char* gbk = "\xCB\xFB\xD4\xDA\xB1\xB1\xBE\xA9\xB9\xA4\xD7\xF7\xA1\xA3";
    CHECK(morv_analyze(analyzer, gbk, strlen(gbk), MORV_GBK, &tokens, &count) == MORV_OK);
    CHECK(count == 5);

    /* A run-time word with a tag: 北京 as nz. */
    CHECK(morv_model_add_word(model, "\xE5\x8C\x97\xE4\xBA\xAC", MORV_NUL_TERMINATED, -1, "nz", MORV_UTF8) == MORV_OK);
    CHECK(morv_model_add_word(model, "ab", 2, 1, "no-such-tag", MORV_UTF8) == MORV_E_TAG);
    CHECK(morv_analyze(analyzer, text, MORV_NUL_TERMINATED, MORV_UTF8, &tokens, &count) == MORV_OK);
    CHECK(count == 5 && strcmp(tokens[2].tag, "nz") == 0 && (tokens[2].flags & MORV_FLAG_USER_WORD) != 0);

    /* Bad text: each error says where. */
    CHECK(morv_analyze(analyzer, "ab\xC3", 3, MORV_UTF8, &tokens, &count) == MORV_E_ENCODING);
    CHECK(strstr(morv_last_error(), "byte offset 2") != NULL);
    CHECK(tokens == NULL && count == 0);
    CHECK(morv_analyze(analyzer, "a\0b", 3, MORV_UTF8, &tokens, &count) == MORV_E_NUL);
    CHECK(morv_analyze(analyzer, "a\0b", 3, MORV_UTF8 | MORV_LENIENT, &tokens, &count) == MORV_OK);

    /* Search mode: 北京大学 is followed by 北京 and 大学; the dictionary words overlap. */
    const char* school = "\xE5\x8C\x97\xE4\xBA\xAC\xE5\xA4\xA7\xE5\xAD\xA6";
    CHECK(morv_analyze(analyzer, school, MORV_NUL_TERMINATED, MORV_UTF8 | MORV_SEARCH, &tokens, &count) == MORV_OK);
    CHECK(count == 3 && (tokens[0].flags & MORV_FLAG_SUBTOKEN) == 0 && (tokens[1].flags & MORV_FLAG_SUBTOKEN) != 0);
    CHECK(count == 3 && tokens[2].start == 6 && tokens[2].end == 12 && tokens[2].char_start == 2);
    CHECK(morv_dictionary_words(analyzer, school, MORV_NUL_TERMINATED, MORV_UTF8, &tokens, &count) == MORV_OK);
    CHECK(count == 3 && tokens[0].length == 6 && tokens[1].length == 12 && tokens[2].start == 6);
    CHECK(morv_dictionary_words(NULL, school, 1, MORV_UTF8, &tokens, &count) == MORV_E_ARGUMENT);

    const char* html = NULL;
    size_t size = 0;
    CHECK(morv_analyze_html(analyzer, gbk, strlen(gbk), MORV_GBK, &html, &size) == MORV_OK);
    CHECK(size > 0 && strstr(html, "/nz") != NULL); /* the run-time tag */

    morv_analyzer_free(analyzer);
    morv_model_free(model);
    if (failures == 0)
        printf("morv_api_test: all checks passed\n");
    return failures == 0 ? 0 : 1;
}
