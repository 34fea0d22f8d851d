-- Documents in search mode (the default), queries cut plainly.
CREATE VIRTUAL TABLE docs USING fts5(body, tokenize = 'morv');
INSERT INTO docs(rowid, body) VALUES
  (1, '中国农业发展银行在北京大学旁边。'),
  (2, '他在清华大学读书，iPhone 15 的价格是 5999 元。'),
  (3, '今天天气很好');
.headers off
.mode list
-- A word inside a long word finds it; a string across two words does not.
SELECT 'inside', group_concat(rowid) FROM docs WHERE docs MATCH '农业';
SELECT 'across', count(*) FROM docs WHERE docs MATCH '京大';
SELECT 'whole', group_concat(rowid) FROM docs WHERE docs MATCH '北京大学';
-- The index of the first document: the words inside a long word are at its position.
CREATE VIRTUAL TABLE doc_terms USING fts5vocab(docs, 'instance');
SELECT 'positions', group_concat(term || ':' || offset, ' ') FROM
  (SELECT term, offset FROM doc_terms WHERE doc = 1 ORDER BY offset, length(term) DESC, term);
-- Phrases: the words inside a long word stand at its position.
SELECT 'phrase', group_concat(rowid) FROM docs WHERE docs MATCH '"在 北京大学 旁边"';
SELECT 'phrase-inside', group_concat(rowid) FROM docs WHERE docs MATCH '"大学 旁边"';
SELECT 'letters', group_concat(rowid) FROM docs WHERE docs MATCH 'iphone AND 5999';
SELECT 'prefix', group_concat(rowid) FROM docs WHERE docs MATCH '清华*';
-- highlight() and snippet() mark the word that was found (byte offsets).
SELECT highlight(docs, 0, '[', ']') FROM docs WHERE docs MATCH '旁边';
SELECT highlight(docs, 0, '[', ']') FROM docs WHERE docs MATCH 'iphone';
-- A word found inside a long word marks that word: its tokens share a position.
SELECT highlight(docs, 0, '[', ']') FROM docs WHERE docs MATCH '农业';
SELECT snippet(docs, 0, '<', '>', '…', 4) FROM docs WHERE docs MATCH '读书';
-- Without search mode only whole words are found.
CREATE VIRTUAL TABLE plain USING fts5(body, tokenize = 'morv search 0');
INSERT INTO plain(body) SELECT body FROM docs;
SELECT 'plain-inside', count(*) FROM plain WHERE plain MATCH '农业';
-- A user-word list joins the model.
CREATE VIRTUAL TABLE custom USING fts5(body, tokenize = "morv userdict 'words.txt'");
INSERT INTO custom(body) VALUES ('蓝鲸科技发布了新产品');
CREATE VIRTUAL TABLE custom_terms USING fts5vocab(custom, 'row');
SELECT 'userdict', group_concat(term, ' ') FROM (SELECT term FROM custom_terms ORDER BY term);
-- A model directory that cannot be opened is an SQL error; the reason is kept.
CREATE VIRTUAL TABLE bad USING fts5(body, tokenize = "morv model '/nonexistent/morv'");
SELECT 'reason', morv_last_error();
CREATE VIRTUAL TABLE bad2 USING fts5(body, tokenize = 'morv colour blue');
SELECT 'reason', morv_last_error();
SELECT 'still', count(*) FROM docs WHERE docs MATCH '天气';
