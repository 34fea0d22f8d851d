/* morv.h: the Morv library's C interface.
 *
 * A model (morv_model) holds everything loaded from one model directory and is
 * read-only once open: any number of threads may analyse with it at once. An
 * analyser (morv_analyzer) holds the per-text machinery over one model and serves
 * one thread at a time; give each thread its own. Several models, from different
 * directories, may be open in one process.
 *
 * Threads and run-time words: morv_model_add_word and morv_model_load_userdict may
 * be called while other threads analyse with the same model. Each analysis uses
 * the words as they stood when it started; the next one sees the new words. These
 * calls never write to disk.
 *
 * Errors: every call that can fail returns a status (MORV_OK or one of the
 * MORV_E_* codes). morv_last_error() then gives a readable message for the last
 * failure on the calling thread: which file, which byte, which line, and why.
 *
 * Text: UTF-8 by default, GBK (GB2312) with MORV_GBK. Offsets in tokens are bytes
 * and characters of the caller's text as given. Characters GBK cannot hold (emoji,
 * rare extension characters) come through unchanged as tokens of their own,
 * tagged "w", with MORV_FLAG_SUBSTITUTED.
 */
#ifndef MORV_H
#define MORV_H

#include <stddef.h>

#define MORV_VERSION_MAJOR 3
#define MORV_VERSION_MINOR 1
#define MORV_VERSION_PATCH 0
#define MORV_VERSION_STRING "3.1.0"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct morv_model morv_model;
typedef struct morv_analyzer morv_analyzer;

/* Status codes. */
enum morv_status {
    MORV_OK = 0,
    MORV_E_ARGUMENT = 1, /* a null pointer, a value out of range or an option bit
                            the function does not know */
    MORV_E_MODEL = 2,    /* the model directory cannot be loaded (missing or damaged file) */
    MORV_E_IO = 3,       /* a file (a word list) cannot be read */
    MORV_E_ENCODING = 4, /* the text or a list is not valid in its encoding */
    MORV_E_NUL = 5,      /* a NUL byte inside a text */
    MORV_E_TAG = 6,      /* a tag name the model's tag set does not have */
    MORV_E_LIST = 7,     /* a word list line that cannot be used */
    MORV_E_MEMORY = 8    /* out of memory */
};

/* Options of morv_analyze and morv_analyze_html (bits). */
#define MORV_UTF8 0u     /* the text is UTF-8 (the default) */
#define MORV_GBK 1u      /* the text is GBK (GB2312) */
#define MORV_LENIENT 2u  /* bytes that are not valid in the encoding, and NUL bytes,
                            become tokens of their own (MORV_FLAG_SUBSTITUTED) instead
                            of an error */
#define MORV_SEARCH 4u   /* search mode (morv_analyze): after each token come the
                            dictionary words of two characters and more that lie
                            inside it, as sub-tokens (MORV_FLAG_SUBTOKEN); skipping
                            them gives the ordinary tokens. The page
                            (morv_analyze_html) is the same without it */
#define MORV_SINGLE_CHARS 8u /* morv_dictionary_words: one-character words too */
/* Traditional Chinese. The models know simplified words: a sentence in
 * traditional characters is analysed as its simplified conversion (OpenCC's
 * t2s), character for character, while the tokens, their offsets and the page
 * keep the caller's characters (們 stays 們, found as 们 is). By default (auto)
 * each sentence is converted when it reads as traditional: more characters
 * outside GB2312 that t2s changes than characters that s2t changes; text in
 * GB2312 is never converted. A model whose Configure.xml sets Traditional off
 * converts none by default. These bits, in the options of every call that
 * analyses, choose otherwise (both at once: MORV_E_ARGUMENT): */
#define MORV_TRADITIONAL_ON 64u   /* convert every sentence */
#define MORV_TRADITIONAL_OFF 128u /* convert none: the text as it is */
#define MORV_LONG_UNITS 16u  /* morv_analyze: a long-unit segmentation standard, the
                            granularity of other collections and of jieba-like
                            output, not a gain in accuracy: numerals and their
                            measure word (２９个, ５１００公里) become one token
                            tagged "mq", a run of time words (１月２８日, 今年７月１日)
                            one token tagged "t"; each keeps its words as parts
                            (MORV_FLAG_COMPOUND). Names are one token each in
                            either standard. The default (without it) is the
                            corpus standard; the page is the same either way */

/* A length that means "up to the terminating NUL". */
#define MORV_NUL_TERMINATED ((size_t)-1)

/* Token flags (bits of morv_token.flags). */
#define MORV_FLAG_USER_WORD 0x001u    /* a word of a user dictionary or added at run time */
#define MORV_FLAG_PERSON 0x002u       /* a person name */
#define MORV_FLAG_PLACE 0x004u        /* a place name */
#define MORV_FLAG_ORGANIZATION 0x008u /* an organisation name */
#define MORV_FLAG_NUMBER 0x010u       /* a number */
#define MORV_FLAG_TIME 0x020u         /* a time or date expression */
#define MORV_FLAG_STRING 0x040u       /* a string of letters or digits */
#define MORV_FLAG_SENTENCE_END 0x080u /* the last token of a sentence */
#define MORV_FLAG_NEW_WORD 0x100u     /* a word no dictionary has, proposed by the new-word model */
#define MORV_FLAG_LINE_BREAK 0x200u   /* a line break (CR, LF), tagged "w" */
#define MORV_FLAG_SUBSTITUTED 0x400u  /* a character the analyser cannot read (see above) */
#define MORV_FLAG_COMPOUND 0x800u     /* a place or organisation name made of several words
                                         (中国国际广播电台), or a long unit (MORV_LONG_UNITS):
                                         morv_token_parts lists them */
#define MORV_FLAG_SUBTOKEN 0x1000u    /* search mode: a dictionary word inside the token before
                                         it (农业 after 中国农业发展银行), at that token's
                                         position; its offsets are its own */

typedef struct morv_token {
    const char* word;  /* the token's bytes inside the caller's text (not NUL-terminated) */
    size_t length;     /* its length in bytes */
    const char* tag;   /* its tag name: NUL-terminated ASCII, valid as long as the model */
    size_t start;      /* byte offset of the token in the text */
    size_t end;        /* byte offset just past it */
    size_t char_start; /* the same in characters (code points for UTF-8, characters for GBK) */
    size_t char_end;
    unsigned flags;    /* MORV_FLAG_* */
    size_t name_split; /* for a Chinese person name: byte offset in the text where the
                          surname ends and the given name begins; 0 for other tokens */
} morv_token;

/* One word of a compound token (MORV_FLAG_COMPOUND): the name 中国国际广播电台/nt
 * has the parts 中国/ns 国际/n 广播/vn 电台/n. A person name among the parts comes
 * as surname and given name, as name_split would cut it. */
typedef struct morv_part {
    size_t start;     /* byte offsets in the text, as in morv_token */
    size_t end;
    const char* tag;  /* the word's own tag, valid as long as the model */
} morv_part;

/* The library's version, "3.1.0". */
const char* morv_version(void);
/* A short text for a status code. */
const char* morv_strerror(int status);
/* The message of the last failure on the calling thread ("" if none). */
const char* morv_last_error(void);

/* The model directory morv_model_open(NULL) opens: $MORV_HOME when set, else the
 * models installed with the library (PREFIX/share/morv, found relative to the
 * library itself), else the models of the build tree. */
const char* morv_default_model_dir(void);

/* Opens the model in dir (a directory holding Configure.xml and its data
 * directory); NULL: morv_default_model_dir(). Never writes into the directory. */
int morv_model_open(const char* dir, morv_model** model);
/* morv_model_open with keys of Configure.xml set for this model only (the file
 * is left as it is): settings holds count texts "KEY=VALUE", applied over the
 * file in their order ("NewWords=off": the classic pipeline, about three times
 * faster and less accurate). A text that is not KEY=VALUE, a key the engine does
 * not read or a value it cannot use fails with MORV_E_ARGUMENT, and
 * morv_last_error() names it. settings may be NULL when count is 0. */
int morv_model_open_with(const char* dir, const char* const* settings, size_t count, morv_model** model);
void morv_model_free(morv_model* model);
/* The directory the model was opened from. */
const char* morv_model_dir(const morv_model* model);

/* Adds a word (in the given encoding: MORV_UTF8 or MORV_GBK) for later analyses.
 * frequency < 0 leaves the frequency to the models; tag NULL or "" leaves the tag
 * to the tagger, else the word gets that tag. A word the core dictionary already
 * has takes the given frequency and tag. The word becomes one token wherever it
 * occurs; where two words begin at one place, the longer wins. */
int morv_model_add_word(morv_model* model, const char* word, size_t length, long frequency, const char* tag,
                        unsigned options);
/* Loads a word list: one entry a line, "word [frequency] [tag]" separated by blanks
 * (the frequency, the tag or both may be left out; empty lines are skipped), UTF-8
 * or GBK (decided for the whole file: UTF-8 when it is valid UTF-8). All or
 * nothing: on any error no word of the list is added. added (may be NULL)
 * receives the number of entries taken. A tag of another analyser's set that
 * stands for one of ours is taken as ours (jieba's nrt, nrfg -> nr, eng -> nx,
 * zg -> g, uj ul uv uz ud ug -> u, ...: lexicon/ListTags.h has the table); so is
 * the tag of morv_model_add_word. */
int morv_model_load_userdict(morv_model* model, const char* path, size_t* added);
/* The same for a list held in memory (size bytes); name (may be NULL) names it in
 * error messages. */
int morv_model_load_userdict_buffer(morv_model* model, const char* data, size_t size, const char* name,
                                    size_t* added);
/* Options of morv_model_load_userdict_options (bits). */
#define MORV_LIST_LENIENT 1u /* a tag neither the model nor the table of other
                                analysers' tags knows is no error: the word is
                                kept with its tag left to the tagger, and warn
                                receives the line and the tag */
/* Receives one warning of a list load: "name:line: why". */
typedef void (*morv_warning_fn)(void* user, const char* message);
/* morv_model_load_userdict_buffer with options; warn (may be NULL) is called on
 * the caller's thread during the call. */
int morv_model_load_userdict_options(morv_model* model, const char* data, size_t size, const char* name,
                                     unsigned options, morv_warning_fn warn, void* user, size_t* added);
/* A readable description of the model: its directory and settings, every model
 * file with its size and what it holds, and what it was trained from. The text
 * belongs to the model and stays valid until the next call. */
const char* morv_model_describe(morv_model* model);
/* Number of distinct words added at run time. */
size_t morv_model_user_word_count(const morv_model* model);

int morv_analyzer_new(const morv_model* model, morv_analyzer** analyzer);
void morv_analyzer_free(morv_analyzer* analyzer);

/* Analyses text (length bytes, or MORV_NUL_TERMINATED) and lists its tokens in
 * order; they cover the text without gaps. The array belongs to the analyser and
 * stays valid until its next call; the tokens point into text. A sentence without
 * an end (no sentence-ending mark, no line break) is cut after 8 KiB of its GBK
 * form, at its last punctuation mark or blank in the second half if it has one,
 * so that the analyser's memory stays bounded whatever the text (the tokens
 * returned grow with the text, by some 70 bytes each). */
int morv_analyze(morv_analyzer* analyzer, const char* text, size_t length, unsigned options,
                 const morv_token** tokens, size_t* count);

/* Search mode (MORV_SEARCH in options): each token is followed by the words the
 * dictionaries know inside it (the core dictionary, the supplementary lexicon,
 * the user dictionary, the words added at run time), two characters and longer,
 * ordered by start and then by length, each with its own offsets, its most
 * frequent tag and MORV_FLAG_SUBTOKEN (and MORV_FLAG_USER_WORD for a user's
 * word). A compound name's parts are among them. A search index puts a
 * sub-token at the position of the token before it:
 *   中国农业发展银行/nt  中国/ns 农业/n 发展/vn 银行/n 发展银行/n ...
 * The other tokens are those of the ordinary analysis, unchanged. */

/* Every word the dictionaries know (as in search mode) that occurs anywhere in
 * text, overlapping: ordered by start, then by length, with offsets, tags and
 * MORV_FLAG_USER_WORD for a user's word; words of two characters and more, or
 * of one and more with MORV_SINGLE_CHARS. They do not tile the text: a
 * character no word covers is not listed. options: the encoding bits,
 * MORV_LENIENT, MORV_SINGLE_CHARS. The array belongs to the analyser and stays
 * valid until its next morv_dictionary_words call; the words point into text. */
int morv_dictionary_words(morv_analyzer* analyzer, const char* text, size_t length, unsigned options,
                          const morv_token** words, size_t* count);

/* The words of token index of the analyser's last morv_analyze result, in
 * order; count 0 (parts NULL) for a token that is one word. Valid until the
 * analyser's next call. */
int morv_token_parts(const morv_analyzer* analyzer, size_t index, const morv_part** parts, size_t* count);

/* Analyses text into the tokens of the coloured result page (GBK HTML), without
 * the page's head and tail: a page is morv_html_head(), the parts of one or more
 * texts, then morv_html_tail(). The buffer belongs to the analyser and stays valid
 * until its next call. */
int morv_analyze_html(morv_analyzer* analyzer, const char* text, size_t length, unsigned options,
                      const char** html, size_t* size);
const char* morv_html_head(void);
const char* morv_html_tail(void);

/* Keywords. morv_keywords analyses text and gives its keywords, heaviest
 * first: by TF-IDF (a word's count in the text times its inverse document
 * frequency, over the count of all candidate words), or with MORV_TEXTRANK by
 * TextRank (the rank of a word in the graph of the candidates that occur
 * within 5 tokens of each other, damping 0.85, scaled so that the highest is
 * 1). The candidates are the words of two characters and more that are no
 * stop word; with tags given, only words of those tags, else words of any tag
 * but punctuation, numbers, times and line breaks. The IDF table and the stop
 * words are the model's (Data/Keywords.idf, written by morv-train from its
 * corpus's paragraphs, and Data/stopwords.txt) unless replaced by
 * morv_model_set_idf and morv_model_set_stop_words. */
#define MORV_TEXTRANK 16u      /* morv_keywords: TextRank instead of TF-IDF */
#define MORV_KEYWORD_TAGS 32u  /* morv_keywords with tags: a word under two tags is two
                                  keywords (jieba's withFlag) */

typedef struct morv_keyword {
    const char* word;  /* the word's first occurrence in the caller's text (not NUL-terminated) */
    size_t length;     /* its length in bytes */
    const char* tag;   /* the tag of that occurrence, valid as long as the model */
    double weight;     /* TF-IDF weight, or TextRank's scaled rank */
    size_t start;      /* byte offsets of the first occurrence */
    size_t end;
    size_t char_start; /* the same in characters */
    size_t char_end;
} morv_keyword;

/* The top keywords of text (top 0: all of them), with the options of
 * morv_analyze (encoding, MORV_LENIENT) and MORV_TEXTRANK, MORV_KEYWORD_TAGS.
 * tags: the tags a keyword may have, separated by blanks or commas ("n ns vn");
 * NULL or "": any. The array belongs to the analyser and stays valid until its
 * next call; the words point into text. MORV_E_MODEL when the model has no IDF
 * table (trained before there was one; morv_model_set_idf gives one). */
int morv_keywords(morv_analyzer* analyzer, const char* text, size_t length, unsigned options, size_t top,
                  const char* tags, const morv_keyword** keywords, size_t* count);
/* Replaces the model's IDF table by the list at path: UTF-8, one "word idf" a
 * line (jieba's idf.txt loads as it is); a word the table lacks gets the
 * table's median. NULL: the model's own again. On failure the table in use
 * stays. Safe while other threads analyse; their next call sees the new one. */
int morv_model_set_idf(morv_model* model, const char* path);
/* Replaces the stop words by the list at path (UTF-8, one word a line; ASCII
 * letters compare in any case); NULL: the model's own again. */
int morv_model_set_stop_words(morv_model* model, const char* path);

/* For a program that analyses a long text piece by piece: the length of the
 * longest prefix of data (at most length bytes, no line feed in it) that can be
 * cut off without changing the analysis: up to its last sentence end, else its
 * last blank, else its last whole character. With model NULL no sentence end is
 * known. */
size_t morv_cut_point(const morv_model* model, const char* data, size_t length, unsigned options);

#ifdef __cplusplus
}
#endif

#endif
