// Number and date texts: parsing with either format settings, and formatting a value read from
// the input with a pattern that is the rest of the input.
#include "tests/fuzz/fuzz_support.h"

#include "platform/currency.h"
#include "platform/exceptions.h"
#include "platform/text.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

double ValueFrom(fuzz::Input& in)
{
    const QByteArray b = in.Bytes(8).leftJustified(8, '\0');
    double v = 0;
    std::memcpy(&v, b.constData(), 8);
    return v;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input in(data, size);
    const std::uint8_t what = in.Byte();
    const TFormatSettings fs = what & 0x80 ? InvariantFormatSettings() : RussianFormatSettings();
    try {
        switch (what & 0x0F) {
        case 0: {
            double d = 0;
            (void)TryStrToFloat(QString::fromUtf8(in.Rest()), d, fs);
            break;
        }
        case 1: {
            Currency c;
            (void)TryStrToCurr(QString::fromUtf8(in.Rest()), c, fs);
            break;
        }
        case 2: {
            std::int64_t i = 0;
            const QString text = QString::fromUtf8(in.Rest());
            (void)TryStrToInt64(text, i);
            (void)StrToIntDef(text, -1);
            break;
        }
        case 3: {
            double d = 0;
            const QString text = QString::fromUtf8(in.Rest());
            (void)TryStrToDate(text, d, fs);
            (void)TryStrToTime(text, d, fs);
            (void)TryStrToDateTime(text, d, fs);
            break;
        }
        case 4: {
            const double v = ValueFrom(in);
            (void)FormatFloat(QString::fromUtf8(in.Rest()), v, fs);
            break;
        }
        case 5: {
            const double v = ValueFrom(in);
            const int precision = in.Byte() % 20;
            const int digits = in.Byte() % 20;
            (void)FloatToStrF(v, TFloatFormat(in.Byte() % 5), precision, digits, fs);
            (void)FloatToStr(v, fs);
            break;
        }
        case 6: {
            const double v = ValueFrom(in);
            (void)FormatDateTime(QString::fromUtf8(in.Rest()), v, fs);
            (void)DateTimeToStr(v, fs);
            break;
        }
        case 7: {
            Currency c;
            const QByteArray b = in.Bytes(8).leftJustified(8, '\0');
            std::memcpy(&c.Value, b.constData(), 8);
            (void)FormatCurr(QString::fromUtf8(in.Rest()), c, fs);
            (void)CurrToStr(c, fs);
            break;
        }
        default: {
            // Text round trips: what the formatter writes, the parser reads back.
            const double v = ValueFrom(in);
            double back = 0;
            const QString text = FloatToStr(v, fs);
            if (std::isfinite(v) && !TryStrToFloat(text, back, fs)) {
                std::fprintf(stderr, "numbers: \"%s\" does not read back\n", qPrintable(text));
                std::abort();
            }
            break;
        }
        }
    } catch (const Exception&) {
        // conversion errors are the answer to a bad text
    }
    return 0;
}
