-- The text-search parser morv and the configuration chinese_morv.
CREATE EXTENSION morv;
SELECT morv_version() ~ '^[0-9]+\.[0-9]+\.[0-9]+$' AS version_ok;

-- Token types follow the part-of-speech tags.
SELECT tokid, alias, description FROM ts_token_type('morv');

-- The parser's tokens: each long word is followed by the words inside it.
SELECT p.tokid, t.alias, p.token
  FROM ts_parse('morv', '中国农业发展银行在北京大学旁边。') AS p
  JOIN ts_token_type('morv') AS t USING (tokid);
SELECT alias, token, dictionaries, lexemes
  FROM ts_debug('chinese_morv', '他说 iPhone 15 的价格是5999元，２００８年');

-- Documents and queries.
SELECT to_tsvector('chinese_morv', '中国农业发展银行在北京大学旁边。');
SELECT to_tsquery('chinese_morv', '农业'), plainto_tsquery('chinese_morv', '北京大学'),
       phraseto_tsquery('chinese_morv', '北京大学旁边');
SELECT plainto_tsquery('chinese_morv', '京大');

CREATE TABLE docs (id int PRIMARY KEY, body text);
INSERT INTO docs VALUES
  (1, '中国农业发展银行在北京大学旁边。'),
  (2, '他在清华大学读书，iPhone 15 的价格是 5999 元。'),
  (3, '今天天气很好'),
  (4, '');
CREATE INDEX docs_body ON docs USING gin (to_tsvector('chinese_morv', body));

-- A word inside a long word finds it; a string across two words does not.
SELECT q, array_agg(id ORDER BY id) AS found
  FROM (VALUES ('农业'), ('北京大学'), ('京大'), ('华大'), ('IPHONE'), ('5999'), ('天气'), ('银行 天气')) AS v(q)
  LEFT JOIN docs ON to_tsvector('chinese_morv', body) @@ plainto_tsquery('chinese_morv', q)
  GROUP BY q ORDER BY q;
-- Phrases.
SELECT q, array_agg(id ORDER BY id) AS found
  FROM (VALUES ('在北京大学旁边'), ('北京大学在'), ('大学旁边'), ('清华大学读书')) AS v(q)
  LEFT JOIN docs ON to_tsvector('chinese_morv', body) @@ phraseto_tsquery('chinese_morv', q)
  GROUP BY q ORDER BY q;
-- The index answers the same.
SET enable_seqscan = off;
SELECT id FROM docs WHERE to_tsvector('chinese_morv', body) @@ to_tsquery('chinese_morv', '农业 | 天气') ORDER BY id;
RESET enable_seqscan;

-- The headline marks exactly what was found, and shows every character once.
SELECT ts_headline('chinese_morv', body, plainto_tsquery('chinese_morv', '农业')) FROM docs WHERE id = 1;
SELECT ts_headline('chinese_morv', body, plainto_tsquery('chinese_morv', '北京大学')) FROM docs WHERE id = 1;
SELECT ts_headline('chinese_morv', body, phraseto_tsquery('chinese_morv', '大学旁边')) FROM docs WHERE id = 1;
SELECT ts_headline('chinese_morv', body, plainto_tsquery('chinese_morv', 'iphone 读书'),
                   'StartSel=[, StopSel=]') FROM docs WHERE id = 2;
SELECT ts_headline('chinese_morv', body, plainto_tsquery('chinese_morv', '价格'),
                   'MaxFragments=1, MaxWords=4, MinWords=2, StartSel=[, StopSel=]') FROM docs WHERE id = 2;
SELECT ts_headline('chinese_morv', body, plainto_tsquery('chinese_morv', '天气'), 'HighlightAll=true')
  FROM docs WHERE id = 3;

-- Odd texts.
SELECT to_tsvector('chinese_morv', ''), to_tsvector('chinese_morv', '，。！  '), to_tsvector('chinese_morv', '😀中文');
SELECT length(ts_headline('chinese_morv', repeat('a', 5000), to_tsquery('chinese_morv', 'b'), 'HighlightAll=true'));

-- Search mode off: only whole words.
SET morv.search = off;
SELECT to_tsvector('chinese_morv', '中国农业发展银行在北京大学旁边。');
RESET morv.search;

-- User words from a list (a relative path is taken from the data directory).
SET morv.user_dict = 'morv_words.txt';
SELECT to_tsvector('chinese_morv', '蓝鲸科技发布了新产品');
SET morv.user_dict = 'morv_bad_words.txt';
SELECT to_tsvector('chinese_morv', '蓝鲸科技发布了新产品');
RESET morv.user_dict;

-- Keys of the model's Configure.xml set for the backend: the classic pipeline
-- cuts the organisation into its words; a bad item is an error that names it.
SET morv.search = off;
SELECT to_tsvector('chinese_morv', '中国农业发展银行的行长昨天访问了北京。');
SET morv.settings = 'NewWords=off';
SELECT to_tsvector('chinese_morv', '中国农业发展银行的行长昨天访问了北京。');
SET morv.settings = 'NewWords=off, NewWords=on';
SELECT to_tsvector('chinese_morv', '中国农业发展银行的行长昨天访问了北京。');
SET morv.settings = 'NewWordz=on';
SELECT to_tsvector('chinese_morv', '中文');
SET morv.settings = 'NewWords';
SELECT to_tsvector('chinese_morv', '中文');
RESET morv.settings;
RESET morv.search;
SELECT to_tsvector('chinese_morv', '中文');

-- A model directory that cannot be opened is an error with its reason; the
-- backend goes on.
SET morv.model_dir = '/nonexistent/morv';
SELECT to_tsvector('chinese_morv', '中文');
RESET morv.model_dir;
SELECT to_tsvector('chinese_morv', '中文');

-- The settings that read files are for superusers.
CREATE ROLE morv_regress_user;
SET ROLE morv_regress_user;
SET morv.model_dir = '/tmp';
SET morv.settings = 'NewWords=off';
SET morv.search = off;
RESET morv.search;
RESET ROLE;
DROP ROLE morv_regress_user;

DROP TABLE docs;
DROP EXTENSION morv;
