/*
 * morv_parser.c: a PostgreSQL text-search parser that cuts Chinese text into
 * words with Morv (CREATE EXTENSION morv; the configuration chinese_morv).
 *
 * Token types follow the part-of-speech tags: nouns (n), person names (nr),
 * places (ns), organisations (nt), other proper nouns (nz), verbs (v), ...,
 * letters and digits (nx), punctuation and symbols (w), blanks (blank). In
 * search mode (morv.search, on by default) each word is followed by the
 * dictionary words inside it, so that 农业 finds 中国农业发展银行; a query is
 * cut by the same parser, so it holds the same sequence of words. The headline
 * marks a word found inside a longer word exactly, and shows each character
 * of the document once.
 *
 * Settings: morv.model_dir (the model directory; empty: the library's default
 * models), morv.user_dict (a "word [frequency] [tag]" list added to the model;
 * a relative path is taken from the data directory), morv.settings (keys of
 * the model's Configure.xml set over the file, KEY=VALUE items separated by
 * commas: 'NewWords=off' parses with the classic pipeline, about three times
 * faster and less accurate), all three for superusers, as they read files or
 * name them; morv.search. The model is loaded once per backend, on
 * first use, from the read-only mapping of its files that all backends share;
 * a new setting loads it again. A model that cannot be loaded is an ERROR
 * with the reason. Only the library's public interface (morv.h) is used.
 */
#include "postgres.h"

#include <signal.h>
#include <string.h>

#include "fmgr.h"
#include "mb/pg_wchar.h"
#include "tsearch/ts_public.h"
#include "tsearch/ts_type.h"
#include "utils/builtins.h"
#include "utils/fmgrprotos.h"
#include "utils/guc.h"
#include "utils/memutils.h"

#include "engine/morv.h"

PG_MODULE_MAGIC;

PG_FUNCTION_INFO_V1(morv_prs_start);
PG_FUNCTION_INFO_V1(morv_prs_nexttoken);
PG_FUNCTION_INFO_V1(morv_prs_end);
PG_FUNCTION_INFO_V1(morv_prs_headline);
PG_FUNCTION_INFO_V1(morv_prs_lextype);
PG_FUNCTION_INFO_V1(morv_version_text);

void _PG_init(void);

/* Token types; their ids are the positions in typeNames, from 1. */
enum
{
	T_N = 1, T_NR, T_NS, T_NT, T_NZ, T_V, T_A, T_M, T_Q, T_T, T_NX, T_R, T_D, T_P, T_C, T_U, T_Y, T_E,
	T_O, T_F, T_S, T_I, T_L, T_J, T_B, T_Z, T_K, T_X, T_W, T_BLANK, T_COUNT = T_BLANK
};

static const char *const typeNames[][2] = {
	{"n", "Noun"},
	{"nr", "Person name"},
	{"ns", "Place name"},
	{"nt", "Organisation name"},
	{"nz", "Other proper noun"},
	{"v", "Verb"},
	{"a", "Adjective"},
	{"m", "Numeral"},
	{"q", "Measure word"},
	{"t", "Time word"},
	{"nx", "Letters and digits"},
	{"r", "Pronoun"},
	{"d", "Adverb"},
	{"p", "Preposition"},
	{"c", "Conjunction"},
	{"u", "Auxiliary word"},
	{"y", "Modal particle"},
	{"e", "Interjection"},
	{"o", "Onomatopoeia"},
	{"f", "Locality word"},
	{"s", "Place word"},
	{"i", "Idiom"},
	{"l", "Fixed expression"},
	{"j", "Abbreviation"},
	{"b", "Distinguishing word"},
	{"z", "Status word"},
	{"k", "Affix"},
	{"x", "Other"},
	{"w", "Punctuation and symbols"},
	{"blank", "Space symbols"},
};

/* Settings. */
static char *modelDir = NULL;
static char *userDict = NULL;
static char *modelSettings = NULL;
static bool searchMode = true;

/* The backend's model and analyser, and the settings they were loaded with. */
static morv_model *model = NULL;
static morv_analyzer *analyzer = NULL;
static char *loadedDir = NULL;
static char *loadedDict = NULL;
static char *loadedSettings = NULL;

/* Items of morv.settings a backend takes: more than Configure.xml has keys. */
#define MORV_MAX_SETTINGS 64

/* One token of a parse: where it lies in the text, its type, and whether it
 * is a word inside the token before it (search mode). */
typedef struct
{
	int			offset;
	int			length;
	uint8		type;
	bool		sub;
} ParsedToken;

typedef struct
{
	const char *text;
	ParsedToken *tokens;
	int			count;
	int			next;
} ParserState;

/*
 * What the last finished parse handed out, kept for the headline: the core
 * code parses the document, then asks the parser for the headline of what it
 * was given, which does not say which tokens were words inside others.
 */
static ParsedToken *lastTokens = NULL;
static int	lastCount = 0;
static int	lastSize = 0;

void
_PG_init(void)
{
	DefineCustomStringVariable("morv.model_dir",
							   "Directory of the Morv models (Configure.xml and its data).",
							   "Empty: the models installed with the library.",
							   &modelDir, "", PGC_SUSET, 0, NULL, NULL, NULL);
	DefineCustomStringVariable("morv.user_dict",
							   "A list of words (\"word [frequency] [tag]\" lines) added to the model.",
							   "Empty: none. A relative path is taken from the data directory.",
							   &userDict, "", PGC_SUSET, 0, NULL, NULL, NULL);
	DefineCustomStringVariable("morv.settings",
							   "Keys of the model's Configure.xml set over the file (KEY=VALUE, separated by commas).",
							   "Empty: none. NewWords=off: the classic pipeline, faster and less accurate.",
							   &modelSettings, "", PGC_SUSET, 0, NULL, NULL, NULL);
	DefineCustomBoolVariable("morv.search",
							 "Search mode: after each word, the dictionary words inside it.",
							 NULL, &searchMode, true, PGC_USERSET, 0, NULL, NULL, NULL);
	MarkGUCPrefixReserved("morv");
}

static void
FreeModel(void)
{
	morv_analyzer_free(analyzer);
	morv_model_free(model);
	analyzer = NULL;
	model = NULL;
	if (loadedDir != NULL)
		pfree(loadedDir);
	if (loadedDict != NULL)
		pfree(loadedDict);
	if (loadedSettings != NULL)
		pfree(loadedSettings);
	loadedDir = loadedDict = loadedSettings = NULL;
}

/* The backend's analyser for the current settings, loaded when they changed. */
static morv_analyzer *
GetAnalyzer(void)
{
	const char *dir = modelDir != NULL ? modelDir : "";
	const char *dict = userDict != NULL ? userDict : "";
	const char *sets = modelSettings != NULL ? modelSettings : "";
	sigset_t	all,
				saved;
	int			status;
	char		reason[1024];
	char	   *copy;
	char	   *rest;
	char	   *item;
	const char *items[MORV_MAX_SETTINGS];
	int			itemCount = 0;

	if (analyzer != NULL && strcmp(dir, loadedDir) == 0 && strcmp(dict, loadedDict) == 0 &&
		strcmp(sets, loadedSettings) == 0)
		return analyzer;
	FreeModel();

	/* The settings' items, cut at commas and blanks in a copy. */
	copy = pstrdup(sets);
	for (item = strtok_r(copy, ", \t\r\n", &rest); item != NULL; item = strtok_r(NULL, ", \t\r\n", &rest))
	{
		if (itemCount == MORV_MAX_SETTINGS)
			ereport(ERROR,
					(errcode(ERRCODE_INVALID_PARAMETER_VALUE),
					 errmsg("morv: morv.settings has more than %d items", MORV_MAX_SETTINGS)));
		items[itemCount++] = item;
	}

	/*
	 * The library loads some models on a thread of its own: signals must keep
	 * going to the backend's thread, whose handlers they are.
	 */
	sigfillset(&all);
	pthread_sigmask(SIG_SETMASK, &all, &saved);
	status = morv_model_open_with(*dir != '\0' ? dir : NULL, items, (size_t) itemCount, &model);
	if (status == MORV_OK && *dict != '\0')
		status = morv_model_load_userdict(model, dict, NULL);
	if (status == MORV_OK)
		status = morv_analyzer_new(model, &analyzer);
	pthread_sigmask(SIG_SETMASK, &saved, NULL);

	pfree(copy);
	if (status == MORV_E_ARGUMENT)
	{
		strlcpy(reason, morv_last_error(), sizeof reason);
		FreeModel();
		ereport(ERROR,
				(errcode(ERRCODE_INVALID_PARAMETER_VALUE),
				 errmsg("morv: %s", reason),
				 errhint("morv.settings holds KEY=VALUE items of the model's Configure.xml, separated by commas.")));
	}
	if (status != MORV_OK)
	{
		strlcpy(reason, morv_last_error(), sizeof reason);
		FreeModel();
		ereport(ERROR,
				(errcode(status == MORV_E_MEMORY ? ERRCODE_OUT_OF_MEMORY : ERRCODE_CONFIG_FILE_ERROR),
				 errmsg("morv: %s", reason),
				 errhint("morv.model_dir names the model directory (empty: the installed models); "
						 "morv.user_dict a word list.")));
	}
	loadedDir = MemoryContextStrdup(TopMemoryContext, dir);
	loadedDict = MemoryContextStrdup(TopMemoryContext, dict);
	loadedSettings = MemoryContextStrdup(TopMemoryContext, sets);
	return analyzer;
}

/* Whether the bytes are white space only. */
static bool
IsBlank(const char *s, size_t n)
{
	size_t		i = 0;

	while (i < n)
	{
		if (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r' || s[i] == '\v' || s[i] == '\f')
			i++;
		else if (i + 3 <= n && (unsigned char) s[i] == 0xE3 && (unsigned char) s[i + 1] == 0x80 &&
				 (unsigned char) s[i + 2] == 0x80)
			i += 3;				/* U+3000, the ideographic space */
		else
			return false;
	}
	return true;
}

/* Whether the bytes are Latin letters and digits (ASCII or full-width) with a letter among them. */
static bool
IsLetters(const char *s, size_t n)
{
	bool		letter = false;
	size_t		i = 0;

	while (i < n)
	{
		unsigned char c = (unsigned char) s[i];

		if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))
		{
			letter = true;
			i++;
		}
		else if (c >= '0' && c <= '9')
			i++;
		else if (c == 0xEF && i + 2 < n && ((unsigned char) s[i + 1] == 0xBC || (unsigned char) s[i + 1] == 0xBD))
		{
			unsigned	cp = 0xFF00u + (((unsigned char) s[i + 1] & 0x03u) << 6) + ((unsigned char) s[i + 2] & 0x3Fu);

			if ((cp >= 0xFF21 && cp <= 0xFF3A) || (cp >= 0xFF41 && cp <= 0xFF5A))
				letter = true;
			else if (!(cp >= 0xFF10 && cp <= 0xFF19))
				return false;
			i += 3;
		}
		else
			return false;
	}
	return letter;
}

/* The token type of a token of the library. */
static uint8
TypeOf(const morv_token *t, bool utf8)
{
	const char *tag = t->tag;

	if (t->flags & MORV_FLAG_LINE_BREAK)
		return T_BLANK;
	if (strcmp(tag, "w") == 0)
		return IsBlank(t->word, t->length) ? T_BLANK : T_W;
	/* Letters are letters, whatever the tagger guessed for a foreign word. */
	if (utf8 && IsLetters(t->word, t->length))
		return T_NX;
	if (strncmp(tag, "nr", 2) == 0)
		return T_NR;
	if (strncmp(tag, "ns", 2) == 0)
		return T_NS;
	if (strcmp(tag, "nt") == 0)
		return T_NT;
	if (strcmp(tag, "nz") == 0)
		return T_NZ;
	if (strcmp(tag, "nx") == 0)
		return T_NX;
	switch (tag[0])
	{
		case 'n':
		case 'N':
			return T_N;
		case 'v':
		case 'V':
			return T_V;
		case 'a':
		case 'A':
			return T_A;
		case 'm':
		case 'M':
			return T_M;
		case 'q':
		case 'Q':
			return T_Q;
		case 't':
		case 'T':
			return T_T;
		case 'r':
		case 'R':
			return T_R;
		case 'd':
		case 'D':
			return T_D;
		case 'p':
			return T_P;
		case 'c':
			return T_C;
		case 'u':
			return T_U;
		case 'y':
		case 'Y':
			return T_Y;
		case 'e':
			return T_E;
		case 'o':
			return T_O;
		case 'f':
			return T_F;
		case 's':
			return T_S;
		case 'i':
			return T_I;
		case 'l':
			return T_L;
		case 'j':
			return T_J;
		case 'b':
		case 'B':
			return T_B;
		case 'z':
			return T_Z;
		case 'h':
		case 'k':
			return T_K;
		default:
			return T_X;
	}
}

/* The bytes of a character of the text at s (n bytes left). */
static int
CharLength(const char *s, int n)
{
	int			length = pg_mblen(s);

	return length < 1 ? 1 : (length > n ? n : length);
}

Datum
morv_prs_start(PG_FUNCTION_ARGS)
{
	char	   *text = (char *) PG_GETARG_POINTER(0);
	int			length = PG_GETARG_INT32(1);
	ParserState *state = palloc0(sizeof(ParserState));
	int			encoding = GetDatabaseEncoding();
	bool		utf8 = encoding == PG_UTF8 || encoding == PG_SQL_ASCII;
	const morv_token *tokens = NULL;
	size_t		count = 0;
	unsigned	options;
	int			status;
	int			capacity;

	if (!utf8 && encoding != PG_EUC_CN)
		ereport(ERROR,
				(errcode(ERRCODE_FEATURE_NOT_SUPPORTED),
				 errmsg("morv: the database encoding %s is not supported", GetDatabaseEncodingName()),
				 errhint("Use a database in UTF8 or EUC_CN.")));
	options = (utf8 ? MORV_UTF8 : MORV_GBK) | MORV_LENIENT | (searchMode ? MORV_SEARCH : 0u);
	state->text = text;
	if (length <= 0)
		PG_RETURN_POINTER(state);
	status = morv_analyze(GetAnalyzer(), text, (size_t) length, options, &tokens, &count);
	if (status != MORV_OK)
		ereport(ERROR,
				(errcode(status == MORV_E_MEMORY ? ERRCODE_OUT_OF_MEMORY : ERRCODE_INTERNAL_ERROR),
				 errmsg("morv: %s", morv_last_error())));

	/*
	 * The core code takes no word of MAXSTRLEN bytes or more (and the
	 * headline refuses the text): a longer token goes in pieces.
	 */
	capacity = (int) count + length / (MAXSTRLEN - 1) + 1;
	state->tokens = palloc(sizeof(ParsedToken) * capacity);
	for (size_t i = 0; i < count; i++)
	{
		const morv_token *t = &tokens[i];
		int			at = (int) t->start;
		int			end = (int) t->end;
		uint8		type = TypeOf(t, utf8);
		bool		sub = (t->flags & MORV_FLAG_SUBTOKEN) != 0;

		while (at < end)
		{
			int			piece = at;
			ParsedToken *out;

			while (piece < end && piece - at + CharLength(text + piece, end - piece) < MAXSTRLEN)
				piece += CharLength(text + piece, end - piece);
			if (piece == at)
				piece = end;
			if (state->count == capacity)
			{
				capacity *= 2;
				state->tokens = repalloc(state->tokens, sizeof(ParsedToken) * capacity);
			}
			out = &state->tokens[state->count++];
			out->offset = at;
			out->length = piece - at;
			out->type = type;
			out->sub = sub;
			at = piece;
		}
	}
	PG_RETURN_POINTER(state);
}

Datum
morv_prs_nexttoken(PG_FUNCTION_ARGS)
{
	ParserState *state = (ParserState *) PG_GETARG_POINTER(0);
	char	  **token = (char **) PG_GETARG_POINTER(1);
	int		   *length = (int *) PG_GETARG_POINTER(2);
	const ParsedToken *t;

	if (state->next >= state->count)
		PG_RETURN_INT32(0);
	t = &state->tokens[state->next++];
	*token = (char *) state->text + t->offset;
	*length = t->length;
	PG_RETURN_INT32(t->type);
}

Datum
morv_prs_end(PG_FUNCTION_ARGS)
{
	ParserState *state = (ParserState *) PG_GETARG_POINTER(0);

	if (state->count > lastSize)
	{
		if (lastTokens != NULL)
			pfree(lastTokens);
		lastSize = state->count;
		lastTokens = MemoryContextAlloc(TopMemoryContext, sizeof(ParsedToken) * lastSize);
	}
	if (state->count > 0)
		memcpy(lastTokens, state->tokens, sizeof(ParsedToken) * state->count);
	lastCount = state->count;
	if (state->tokens != NULL)
		pfree(state->tokens);
	pfree(state);
	PG_RETURN_VOID();
}

/* The words array of a headline being rebuilt. */
typedef struct
{
	HeadlineWordEntry *words;
	int			count;
	int			size;
} WordList;

static HeadlineWordEntry *
Append(WordList *list, const HeadlineWordEntry *entry)
{
	if (list->count == list->size)
	{
		list->size *= 2;
		list->words = repalloc(list->words, sizeof(HeadlineWordEntry) * list->size);
	}
	list->words[list->count] = *entry;
	return &list->words[list->count++];
}

/* A piece of a token's text, unmarked, at the token's position. */
static void
AppendPiece(WordList *list, const HeadlineWordEntry *token, int from, int to)
{
	HeadlineWordEntry piece = *token;

	if (to <= from)
		return;
	piece.word = palloc(to - from);
	memcpy(piece.word, token->word + from, to - from);
	piece.len = to - from;
	piece.item = NULL;
	piece.repeated = 0;
	Append(list, &piece);
}

/* The entry of words at index i, and its repeated copies, in list; returns
 * the index after them. */
static int
AppendWithCopies(WordList *list, const HeadlineParsedText *prs, int i)
{
	Append(list, &prs->words[i]);
	for (i++; i < prs->curwords && prs->words[i].repeated; i++)
		Append(list, &prs->words[i]);
	return i;
}

/* A sub-token of the token being rebuilt: its bytes within the token, its
 * entries in words[from, to) (with the copies), and whether it matched. */
typedef struct
{
	int			start;
	int			end;
	int			from;
	int			to;
	bool		found;
} SubToken;

/*
 * The headline: the words inside a longer word, which search mode puts after
 * it, would show their characters twice. The words array is rebuilt without
 * them; a longer word in which one of them matches the query (and which does
 * not match itself) is cut into pieces so that exactly the match is marked.
 * The default headline generator then chooses and marks the fragments, told
 * which tokens are words and which blanks.
 */
Datum
morv_prs_headline(PG_FUNCTION_ARGS)
{
	HeadlineParsedText *prs = (HeadlineParsedText *) PG_GETARG_POINTER(0);
	WordList	list;
	SubToken   *subs = palloc(sizeof(SubToken) * (lastCount + 1));
	int			i;
	int			k;

	/* The entries (leaving out repeated copies) are the tokens of the last parse. */
	for (i = 0, k = 0; i < prs->curwords; i++)
	{
		if (prs->words[i].repeated)
			continue;
		if (k >= lastCount || prs->words[i].len != lastTokens[k].length || prs->words[i].type != lastTokens[k].type)
			break;
		k++;
	}
	if (i < prs->curwords || k != lastCount)
		ereport(ERROR,
				(errcode(ERRCODE_INTERNAL_ERROR),
				 errmsg("morv: the headline's words are not those of the parse before it")));

	list.size = prs->curwords + 8;
	list.count = 0;
	list.words = palloc(sizeof(HeadlineWordEntry) * list.size);
	for (i = 0, k = 0; i < prs->curwords;)
	{
		const int	holder = i;
		const int	holderStart = lastTokens[k].offset;
		int			count = 0;
		bool		matched = false;

		i = AppendWithCopies(&list, prs, i);
		k++;
		for (; i < prs->curwords && k < lastCount && lastTokens[k].sub; k++)
		{
			SubToken   *sub = &subs[count++];

			sub->start = lastTokens[k].offset - holderStart;
			sub->end = sub->start + lastTokens[k].length;
			sub->from = i;
			sub->found = false;
			do
				sub->found = sub->found || prs->words[i].item != NULL;
			while (++i < prs->curwords && prs->words[i].repeated);
			sub->to = i;
			matched = matched || sub->found;
		}
		if (matched && prs->words[holder].item == NULL)
		{
			/* The holder goes in pieces: the found words and what lies between them. */
			const HeadlineWordEntry whole = prs->words[holder];
			int			cursor = 0;

			list.count--;		/* the holder, which has no copies: it matched nothing */
			for (int s = 0; s < count; s++)
			{
				int			best = s;

				if (!subs[s].found || subs[s].start < cursor || subs[s].end > whole.len)
					continue;
				/* Of the found words that start here, the longest (they come shortest first). */
				for (int t = s + 1; t < count && subs[t].start == subs[s].start; t++)
					if (subs[t].found && subs[t].end <= whole.len)
						best = t;
				AppendPiece(&list, &whole, cursor, subs[best].start);
				for (int e = subs[best].from; e < subs[best].to; e++)
					Append(&list, &prs->words[e]);
				cursor = subs[best].end;
			}
			AppendPiece(&list, &whole, cursor, whole.len);
		}
	}
	pfree(subs);

	/* The default generator reads blanks and words by the default parser's types. */
	for (i = 0; i < list.count; i++)
		list.words[i].type = (list.words[i].type == T_BLANK || list.words[i].type == T_W) ? 12 : 2;
	prs->words = list.words;
	prs->curwords = list.count;
	prs->lenwords = list.size;
	return DirectFunctionCall3(prsd_headline, PointerGetDatum(prs), PG_GETARG_DATUM(1), PG_GETARG_DATUM(2));
}

Datum
morv_prs_lextype(PG_FUNCTION_ARGS)
{
	LexDescr   *descr = palloc(sizeof(LexDescr) * (T_COUNT + 1));

	for (int i = 0; i < T_COUNT; i++)
	{
		descr[i].lexid = i + 1;
		descr[i].alias = pstrdup(typeNames[i][0]);
		descr[i].descr = pstrdup(typeNames[i][1]);
	}
	descr[T_COUNT].lexid = 0;
	PG_RETURN_POINTER(descr);
}

Datum
morv_version_text(PG_FUNCTION_ARGS)
{
	PG_RETURN_TEXT_P(cstring_to_text(morv_version()));
}
