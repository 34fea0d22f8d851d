#ifndef MORV_TESTS_TRAINERTESTUTIL_H
#define MORV_TESTS_TRAINERTESTUTIL_H

#include <string>
#include <vector>

#include "TestUtil.h"
#include "tools/trainer/CorpusReader.h"

// The paragraphs of a small annotated corpus written in the test (UTF-8, the
// corpus's own format), read as the trainer reads the real one.
inline std::vector<Paragraph> CorpusParagraphs(const std::string& utf8)
{
    TempDir dir;
    WriteFile(dir / "corpus.txt", utf8);
    CorpusReader reader;
    EXPECT_TRUE(reader.Read(dir / "corpus.txt", 0, 0));
    EXPECT_TRUE(reader.GetErrors().empty());
    return reader.GetParagraphs();
}

#endif
