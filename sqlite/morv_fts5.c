/* morv_fts5.c: an FTS5 tokenizer for SQLite that cuts Chinese text into words.
 *
 *   .load morv_fts5                                   -- the sqlite3 shell
 *   CREATE VIRTUAL TABLE docs USING fts5(body, tokenize = 'morv');
 *   CREATE VIRTUAL TABLE docs USING fts5(body,
 *       tokenize = "morv model '/opt/morv/models' search 0 userdict '/opt/words.txt'");
 *
 * Options (pairs): model DIR (default: the library's default model directory),
 * search 1|0 (default 1: documents are indexed in search mode, the words inside
 * a long word as tokens colocated with it, so that 农业 finds 中国农业发展银行;
 * queries are always cut plainly), userdict LIST (a "word [frequency] [tag]"
 * list added to the model), set KEY=VALUE (a key of the model's Configure.xml
 * for this table's model, over the file; repeatable: set 'NewWords=off' indexes
 * with the classic pipeline, about three times faster and less accurate).
 * Tokens that are no words (blanks, punctuation,
 * symbols) are not indexed; Latin letters and digits are folded to lower-case
 * ASCII (full-width forms too), so that MATCH 'iphone' finds "iPhone".
 *
 * FTS5 reports a constructor failure as "error in tokenizer constructor"; the
 * reason (a model directory that cannot be opened, a bad list) is what the SQL
 * function morv_last_error() returns afterwards, and it goes to sqlite3_log.
 *
 * Models are opened once per process and shared by every table and connection
 * that names the same directory and list; each table of each connection has an
 * analyser of its own. Only the library's public interface is used.
 */
#define _GNU_SOURCE /* dladdr */
#include <sqlite3ext.h>
SQLITE_EXTENSION_INIT1

#include <dlfcn.h>
#include <pthread.h>
#include <stdlib.h>
#include <string.h>

#include "engine/morv.h"

/* The models opened so far, by directory and list. Models stay open once
 * loaded: the next table to name them needs no load, and their pages are
 * read-only mappings that the system shares and may drop at will. */
typedef struct SharedModel {
    struct SharedModel* next;
    char* dir;      /* "" for the default directory */
    char* userdict; /* "" for none */
    char* settings; /* the set options, each after its length; "" for none */
    morv_model* model;
} SharedModel;

/* Set options a table may give: more than any Configure.xml has keys. */
#define MORV_MAX_SETTINGS 64

static pthread_mutex_t modelsLock = PTHREAD_MUTEX_INITIALIZER;
static SharedModel* models = NULL;

/* The last failure of a tokenizer constructor, for morv_last_error(). */
static pthread_mutex_t errorLock = PTHREAD_MUTEX_INITIALIZER;
static char lastError[1024] = "";

static void SetError(const char* what, const char* detail)
{
    pthread_mutex_lock(&errorLock);
    sqlite3_snprintf((int)sizeof lastError, lastError, "%s%s%s", what, detail != NULL ? ": " : "",
                     detail != NULL ? detail : "");
    sqlite3_log(SQLITE_ERROR, "morv: %s", lastError);
    pthread_mutex_unlock(&errorLock);
}

/* Opens the model of dir with settings and the words of userdict ("" for
 * none); NULL with the reason set when it cannot be had. */
static morv_model* OpenModel(const char* dir, const char* userdict, const char* const* settings, int settingCount)
{
    morv_model* model = NULL;
    int status = morv_model_open_with(*dir != 0 ? dir : NULL, settings, (size_t)settingCount, &model);
    if (status == MORV_OK && *userdict != 0)
        status = morv_model_load_userdict(model, userdict, NULL);
    if (status == MORV_OK)
        return model;
    SetError(morv_last_error(), NULL);
    morv_model_free(model);
    return NULL;
}

/* The shared model for dir, userdict and settings, opened on first use. */
static morv_model* AcquireModel(const char* dir, const char* userdict, const char* const* settings,
                                int settingCount)
{
    /* The settings as one key, each after its length, so that no two lists
     * of settings make the same key. */
    sqlite3_str* joined = sqlite3_str_new(NULL);
    for (int i = 0; i < settingCount; ++i)
        sqlite3_str_appendf(joined, "%d:%s", (int)strlen(settings[i]), settings[i]);
    const int built = sqlite3_str_errcode(joined);
    char* key = sqlite3_str_finish(joined);
    if (built == SQLITE_OK && key == NULL)
        key = sqlite3_mprintf("%s", ""); /* no settings: the empty text */
    if (key == NULL) {
        SetError("out of memory", NULL);
        return NULL;
    }
    pthread_mutex_lock(&modelsLock);
    SharedModel* m = models;
    while (m != NULL && (strcmp(m->dir, dir) != 0 || strcmp(m->userdict, userdict) != 0 ||
                         strcmp(m->settings, key) != 0))
        m = m->next;
    if (m == NULL) {
        m = sqlite3_malloc64(sizeof *m);
        if (m == NULL)
            SetError("out of memory", NULL);
        else {
            m->dir = sqlite3_mprintf("%s", dir);
            m->userdict = sqlite3_mprintf("%s", userdict);
            m->settings = key;
            key = NULL;
            m->model = NULL;
            if (m->dir == NULL || m->userdict == NULL)
                SetError("out of memory", NULL);
            else
                m->model = OpenModel(dir, userdict, settings, settingCount);
            if (m->model == NULL) {
                sqlite3_free(m->dir);
                sqlite3_free(m->userdict);
                sqlite3_free(m->settings);
                sqlite3_free(m);
                m = NULL;
            } else {
                m->next = models;
                models = m;
            }
        }
    }
    pthread_mutex_unlock(&modelsLock);
    sqlite3_free(key);
    return m != NULL ? m->model : NULL;
}

typedef struct MorvTokenizer {
    morv_model* model;  /* shared, never freed */
    morv_analyzer* analyzer;
    int search;      /* documents in search mode */
    int busy;        /* a tokenization is running on analyzer */
    char* fold;      /* scratch for folded token text */
    size_t foldSize;
} MorvTokenizer;

static void TokenizerDelete(Fts5Tokenizer* p)
{
    MorvTokenizer* t = (MorvTokenizer*)p;
    if (t == NULL)
        return;
    morv_analyzer_free(t->analyzer);
    sqlite3_free(t->fold);
    sqlite3_free(t);
}

static int ParseFlag(const char* value, int* out)
{
    if (strcmp(value, "1") == 0 || sqlite3_stricmp(value, "on") == 0 || sqlite3_stricmp(value, "true") == 0) {
        *out = 1;
        return 1;
    }
    if (strcmp(value, "0") == 0 || sqlite3_stricmp(value, "off") == 0 || sqlite3_stricmp(value, "false") == 0) {
        *out = 0;
        return 1;
    }
    return 0;
}

static int TokenizerCreate(void* context, const char** args, int count, Fts5Tokenizer** out)
{
    (void)context;
    *out = NULL;
    const char* dir = "";
    const char* userdict = "";
    const char* settings[MORV_MAX_SETTINGS];
    int settingCount = 0;
    int search = 1;
    for (int i = 0; i < count; i += 2) {
        if (i + 1 >= count) {
            SetError("the option has no value", args[i]);
            return SQLITE_ERROR;
        }
        if (sqlite3_stricmp(args[i], "model") == 0) {
            dir = args[i + 1];
        } else if (sqlite3_stricmp(args[i], "userdict") == 0) {
            userdict = args[i + 1];
        } else if (sqlite3_stricmp(args[i], "set") == 0) {
            if (settingCount == MORV_MAX_SETTINGS) {
                SetError("too many set options, at most 64; the last", args[i + 1]);
                return SQLITE_ERROR;
            }
            settings[settingCount++] = args[i + 1];
        } else if (sqlite3_stricmp(args[i], "search") == 0) {
            if (!ParseFlag(args[i + 1], &search)) {
                SetError("search takes 1 or 0, not", args[i + 1]);
                return SQLITE_ERROR;
            }
        } else {
            SetError("unknown option (model, search, set or userdict)", args[i]);
            return SQLITE_ERROR;
        }
    }
    MorvTokenizer* t = sqlite3_malloc64(sizeof *t);
    if (t == NULL)
        return SQLITE_NOMEM;
    memset(t, 0, sizeof *t);
    t->search = search;
    t->model = AcquireModel(dir, userdict, settings, settingCount);
    if (t->model == NULL) {
        sqlite3_free(t);
        return SQLITE_ERROR;
    }
    if (morv_analyzer_new(t->model, &t->analyzer) != MORV_OK) {
        SetError(morv_last_error(), NULL);
        TokenizerDelete((Fts5Tokenizer*)t);
        return SQLITE_NOMEM;
    }
    *out = (Fts5Tokenizer*)t;
    return SQLITE_OK;
}

/* Whether a token is indexed: words are, blanks, punctuation and symbols not. */
static int IsIndexed(const morv_token* t)
{
    return (t->flags & (MORV_FLAG_LINE_BREAK | MORV_FLAG_SUBSTITUTED)) == 0 && strcmp(t->tag, "w") != 0;
}

/* The token's text for the index: ASCII and full-width Latin letters and
 * digits as lower-case ASCII, everything else as it is. NULL when out of memory. */
static const char* Fold(MorvTokenizer* t, const char* word, size_t length, size_t* folded)
{
    if (length + 1 > t->foldSize) {
        char* grown = sqlite3_realloc64(t->fold, length + 1);
        if (grown == NULL)
            return NULL;
        t->fold = grown;
        t->foldSize = length + 1;
    }
    const unsigned char* s = (const unsigned char*)word;
    size_t n = 0;
    for (size_t i = 0; i < length;) {
        /* U+FF10..U+FF19, U+FF21..U+FF3A, U+FF41..U+FF5A: EF BC 90..99, EF BC A1..BA, EF BD 81..9A */
        if (i + 2 < length && s[i] == 0xEF && (s[i + 1] == 0xBC || s[i + 1] == 0xBD)) {
            const unsigned cp = 0xFF00u + ((s[i + 1] & 0x03u) << 6) + (s[i + 2] & 0x3Fu);
            if ((cp >= 0xFF10 && cp <= 0xFF19) || (cp >= 0xFF21 && cp <= 0xFF3A) || (cp >= 0xFF41 && cp <= 0xFF5A)) {
                const unsigned ascii = cp - 0xFEE0u;
                t->fold[n++] = (char)(ascii >= 'A' && ascii <= 'Z' ? ascii + 32 : ascii);
                i += 3;
                continue;
            }
        }
        t->fold[n++] = (char)(s[i] >= 'A' && s[i] <= 'Z' ? s[i] + 32 : s[i]);
        ++i;
    }
    *folded = n;
    return t->fold;
}

static int Tokenize(Fts5Tokenizer* p, void* context, int flags, const char* text, int size,
                    int (*xToken)(void*, int, const char*, int, int, int))
{
    MorvTokenizer* t = (MorvTokenizer*)p;
    if (size <= 0)
        return SQLITE_OK;
    /* Documents (and the auxiliary functions' view of them) in search mode;
     * a query is cut plainly: its words meet the words and sub-tokens indexed. */
    const int document = (flags & FTS5_TOKENIZE_QUERY) == 0;
    const unsigned options = MORV_UTF8 | MORV_LENIENT | (document && t->search ? MORV_SEARCH : 0u);
    /* A tokenization started from inside another (never seen, but cheap to
     * allow) gets an analyser of its own, as the tokens live in the analyser. */
    morv_analyzer* analyzer = t->analyzer;
    morv_analyzer* own = NULL;
    if (t->busy) {
        if (morv_analyzer_new(t->model, &own) != MORV_OK)
            return SQLITE_NOMEM;
        analyzer = own;
    }
    const morv_token* tokens = NULL;
    size_t count = 0;
    int rc = SQLITE_OK;
    const int status = morv_analyze(analyzer, text, (size_t)size, options, &tokens, &count);
    if (status != MORV_OK) {
        sqlite3_log(SQLITE_ERROR, "morv: %s", morv_last_error());
        rc = status == MORV_E_MEMORY ? SQLITE_NOMEM : SQLITE_ERROR;
    }
    if (own == NULL)
        t->busy = 1;
    int holderIndexed = 0;
    for (size_t i = 0; i < count && rc == SQLITE_OK; ++i) {
        const morv_token* k = &tokens[i];
        const int sub = (k->flags & MORV_FLAG_SUBTOKEN) != 0;
        if (!sub)
            holderIndexed = IsIndexed(k);
        if (!holderIndexed || (sub && !IsIndexed(k)))
            continue;
        size_t length = 0;
        const char* word = Fold(t, k->word, k->length, &length);
        if (word == NULL) {
            rc = SQLITE_NOMEM;
            break;
        }
        rc = xToken(context, sub ? FTS5_TOKEN_COLOCATED : 0, word, (int)length, (int)k->start, (int)k->end);
    }
    if (own == NULL)
        t->busy = 0;
    morv_analyzer_free(own);
    return rc;
}

static void LastErrorFunction(sqlite3_context* context, int argc, sqlite3_value** argv)
{
    (void)argc;
    (void)argv;
    pthread_mutex_lock(&errorLock);
    sqlite3_result_text(context, lastError, -1, SQLITE_TRANSIENT);
    pthread_mutex_unlock(&errorLock);
}

static void VersionFunction(sqlite3_context* context, int argc, sqlite3_value** argv)
{
    (void)argc;
    (void)argv;
    sqlite3_result_text(context, morv_version(), -1, SQLITE_STATIC);
}

/* The FTS5 interface of the connection, NULL when it has none. */
static fts5_api* Fts5Api(sqlite3* db)
{
    fts5_api* api = NULL;
    sqlite3_stmt* statement = NULL;
    if (sqlite3_prepare_v2(db, "SELECT fts5(?1)", -1, &statement, NULL) != SQLITE_OK)
        return NULL;
    sqlite3_bind_pointer(statement, 1, (void*)&api, "fts5_api_ptr", NULL);
    sqlite3_step(statement);
    sqlite3_finalize(statement);
    return api;
}

/* SQLite unloads an extension with the last connection that loaded it; the
 * models it opened would be lost with it and loaded again by the next
 * connection. Loaded once, the extension stays. */
static void StayLoaded(void)
{
    Dl_info info;
    if (dladdr((void*)&StayLoaded, &info) != 0 && info.dli_fname != NULL)
        dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

int sqlite3_morvfts_init(sqlite3* db, char** error, const sqlite3_api_routines* routines)
{
    SQLITE_EXTENSION_INIT2(routines);
    StayLoaded();
    fts5_api* api = Fts5Api(db);
    if (api == NULL || api->iVersion < 2) {
        *error = sqlite3_mprintf("morv: this SQLite has no FTS5 (version 2 or later)");
        return SQLITE_ERROR;
    }
    fts5_tokenizer tokenizer = {TokenizerCreate, TokenizerDelete, Tokenize};
    int rc = api->xCreateTokenizer(api, "morv", NULL, &tokenizer, NULL);
    if (rc == SQLITE_OK)
        rc = sqlite3_create_function(db, "morv_last_error", 0, SQLITE_UTF8, NULL, LastErrorFunction, NULL, NULL);
    if (rc == SQLITE_OK)
        rc = sqlite3_create_function(db, "morv_version", 0, SQLITE_UTF8 | SQLITE_DETERMINISTIC, NULL,
                                     VersionFunction, NULL, NULL);
    if (rc != SQLITE_OK)
        *error = sqlite3_mprintf("morv: cannot register the tokenizer: %s", sqlite3_errstr(rc));
    return rc;
}

/* The entry point SQLite looks for when none is named. */
int sqlite3_extension_init(sqlite3* db, char** error, const sqlite3_api_routines* routines)
{
    return sqlite3_morvfts_init(db, error, routines);
}
