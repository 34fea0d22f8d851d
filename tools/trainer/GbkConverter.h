#ifndef MORV_TRAINER_GBKCONVERTER_H
#define MORV_TRAINER_GBKCONVERTER_H

#include <string>

// UTF-8 to GBK conversion (the engine reads GB2312 text; the corpus has a few
// characters outside GB2312 that GBK holds, so the GBK/CP936 tables are used).
class GbkConverter {
public:
    GbkConverter();
    virtual ~GbkConverter();
    GbkConverter(const GbkConverter&) = delete;
    GbkConverter& operator=(const GbkConverter&) = delete;

    bool IsReady() const { return handle != reinterpret_cast<void*>(-1); }
    // False when text holds a sequence that is not UTF-8 or has no GBK form.
    bool ToGbk(const std::string& utf8, std::string& gbk);

private:
    void* handle;
};

#endif
