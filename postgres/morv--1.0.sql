-- The text-search parser morv and the configuration chinese_morv.
\echo Use "CREATE EXTENSION morv" to load this file. \quit

CREATE FUNCTION morv_prs_start(internal, int4) RETURNS internal
    AS 'MODULE_PATHNAME' LANGUAGE C STRICT;
CREATE FUNCTION morv_prs_nexttoken(internal, internal, internal) RETURNS internal
    AS 'MODULE_PATHNAME' LANGUAGE C STRICT;
CREATE FUNCTION morv_prs_end(internal) RETURNS void
    AS 'MODULE_PATHNAME' LANGUAGE C STRICT;
CREATE FUNCTION morv_prs_headline(internal, internal, tsquery) RETURNS internal
    AS 'MODULE_PATHNAME' LANGUAGE C STRICT;
CREATE FUNCTION morv_prs_lextype(internal) RETURNS internal
    AS 'MODULE_PATHNAME' LANGUAGE C STRICT;

CREATE TEXT SEARCH PARSER morv (
    START = morv_prs_start,
    GETTOKEN = morv_prs_nexttoken,
    END = morv_prs_end,
    HEADLINE = morv_prs_headline,
    LEXTYPES = morv_prs_lextype
);
COMMENT ON TEXT SEARCH PARSER morv IS 'Chinese words (Morv), token types by part of speech';

-- Every word is indexed as it is written (lower-case for letters); blanks and
-- punctuation are left out.
CREATE TEXT SEARCH CONFIGURATION chinese_morv (PARSER = morv);
ALTER TEXT SEARCH CONFIGURATION chinese_morv ADD MAPPING
    FOR n, nr, ns, nt, nz, v, a, m, q, t, nx, r, d, p, c, u, y, e, o, f, s, i, l, j, b, z, k, x
    WITH simple;
COMMENT ON TEXT SEARCH CONFIGURATION chinese_morv IS 'Chinese text search with the Morv analyser';

CREATE FUNCTION morv_version() RETURNS text
    AS 'MODULE_PATHNAME', 'morv_version_text' LANGUAGE C IMMUTABLE STRICT PARALLEL SAFE;
