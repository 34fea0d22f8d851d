#include "tagging/CNameOpeners.h"

#include "tagging/CNameModel.h"
#include "tagging/CTranslitModel.h"

CNameOpeners::CNameOpeners(const CNameModel& m, const CTranslitModel* t)
    : flags(kKeyCount, 0), model(&m), translit(t)
{
    for (int key = 0; key < kKeyCount; ++key) {
        const bool likely = translit != nullptr && key > 0xFF && translit->Of(key).inName >= kMinOdds;
        uint8_t f = 0;
        if (model->OpeningMargin(key) > kOpeningMargin || likely)
            f |= kOpens;
        if (likely || key == 0xA1A4)
            f |= kForeign;
        flags[static_cast<size_t>(key)] = f;
    }
}
