// String tables, error texts and the choice of exception for a code.
#include "serial/serialexcept.h"
#include "serial/strresmgr.h"

#include <gtest/gtest.h>
#include <QList>
#include <new>

namespace {

QByteArray Table(const QList<std::pair<uint32_t, QString>>& rows)
{
    QByteArray b("STR0");
    auto put = [&b](uint32_t v) {
        for (int k = 0; k < 4; ++k)
            b.append(static_cast<char>(v >> (8 * k)));
    };
    put(rows.size());
    uint32_t offset = 8 + 12 * rows.size();
    for (const auto& [id, text] : rows) {
        put(id);
        put(offset);
        put(text.size());
        offset += 2 * text.size();
    }
    for (const auto& r : rows) {
        for (QChar c : r.second) {
            b.append(static_cast<char>(c.unicode() & 0xFF));
            b.append(static_cast<char>(c.unicode() >> 8));
        }
    }
    return b;
}

template <class E>
E Raised(int code)
{
    try {
        RaiseForErrorCode(code);
    } catch (const E& e) {
        return e;
    }
    ADD_FAILURE() << "code " << code << " did not raise the expected class";
    throw std::logic_error("not raised");
}

}  // namespace

TEST(StringTables, CompiledInTablesHaveTheirRows)
{
    EXPECT_EQ(StrResMgrStrings().Count(), 5u);
    EXPECT_EQ(StrResMgrStrings().GetStringById(4), "Unable to open string resource: %s");
    EXPECT_EQ(StrResMgrStrings().GetStringById(6), "");
    EXPECT_EQ(SerialErrorStrings().Count(), 830u);
    EXPECT_EQ(SerialErrorStrings().GetStringById(0), "OK");
    EXPECT_EQ(SerialErrorStrings().GetStringById(2011), "The ComNumber property of the TComPort has not been set");
    EXPECT_EQ(SerialErrorStrings().GetStringById(15102), "WriteCom");
    EXPECT_EQ(SerialErrorStrings().GetStringById(1), "");
}

TEST(StringTables, LookupFindsEveryIdOfATableAndNoOther)
{
    const TAdStringResource t(QStringLiteral("T"), Table({{1, "a"}, {5, "Привет"}, {9, ""}, {70000, "z"}}));
    EXPECT_EQ(t.GetStringById(1), "a");
    EXPECT_EQ(t.GetStringById(5), QStringLiteral("Привет"));
    EXPECT_EQ(t.GetStringById(70000), "z");
    for (uint32_t missing : {0u, 2u, 6u, 10u, 69999u, 70001u})
        EXPECT_EQ(t.GetStringById(missing), "") << missing;
}

TEST(StringTables, RaiseIfMissingUsesTheReadersOwnText)
{
    TAdStringResource t(QStringLiteral("T"), Table({{1, "a"}}));
    t.RaiseIfMissing = true;
    try {
        t.GetStringById(42);
        FAIL();
    } catch (const ETpsStringResourceError& e) {
        EXPECT_EQ(e.Message(), "String not found: 42");
    }
}

TEST(StringTables, DamagedOrMissingTablesRaise)
{
    auto messageOf = [](auto make) -> QString {
        try {
            make();
        } catch (const ETpsStringResourceError& e) {
            return e.Message();
        }
        return QStringLiteral("<no exception>");
    };
    EXPECT_EQ(messageOf([] { TAdStringResource t(QStringLiteral("NOPE")); }), "String resource not found: NOPE");
    EXPECT_EQ(messageOf([] { TAdStringResource t(QStringLiteral("X"), QByteArray("STR1\0\0\0\0", 8)); }),
              "Invalid TPString resource");
    QByteArray truncated = Table({{1, "abc"}});
    truncated.chop(2);
    EXPECT_EQ(messageOf([&] { TAdStringResource t(QStringLiteral("X"), truncated); }), "Invalid TPString resource");
    EXPECT_EQ(messageOf([] { TAdStringResource t(QStringLiteral("X"), Table({{5, "a"}, {3, "b"}})); }),
              "Invalid TPString resource");
}

TEST(ErrorCodes, NonNegativeCodesAndLoadingRaiseNothing)
{
    EXPECT_EQ(RaiseForErrorCode(0), 0);
    EXPECT_EQ(RaiseForErrorCode(1), 1);
    EXPECT_EQ(RaiseForErrorCode(-2011, true), -2011);
}

TEST(ErrorCodes, ClassAndTextFollowTheCode)
{
    EXPECT_THROW(RaiseForErrorCode(-8), std::bad_alloc);

    const EInOutError denied = Raised<EInOutError>(-5);
    EXPECT_EQ(denied.Message(), "File access denied");
    EXPECT_EQ(denied.ErrorCode, 5);
    const EInOutError invalid = Raised<EInOutError>(-87);
    EXPECT_EQ(invalid.ErrorCode, 87);
    EXPECT_EQ(invalid.Message(), SystemErrorText(87));
    EXPECT_FALSE(invalid.Message().isEmpty());

    const ENoPortSelected none = Raised<ENoPortSelected>(-2011);
    EXPECT_EQ(none.ErrorCode, -2011);
    EXPECT_EQ(none.Message(), "The ComNumber property of the TComPort has not been set");
    EXPECT_EQ(Raised<EAlreadyOpen>(-2008).Message(), "ie_Open - device already open");
    EXPECT_EQ(Raised<EBadId>(-2001).Message(), "ie_BadId - Specified comport doesn't exist");
    EXPECT_EQ(Raised<EBufferIsEmpty>(-3007).Message(), "Buffer is empty");
    EXPECT_EQ(Raised<EOutputBufferTooSmall>(-3006).ErrorCode, -3006);
    EXPECT_EQ(Raised<EOpenComm>(-2007).ErrorCode, -2007);      // ECommNotOpen is an EOpenComm
    EXPECT_EQ(Raised<ESerialIO>(-3010).ErrorCode, -3010);      // EBaseAddressNotSet
    EXPECT_EQ(Raised<ETapi>(-13850).ErrorCode, -13850);        // ETapiInvalParam
    EXPECT_EQ(Raised<EInternal>(-7006).ErrorCode, -7006);
    EXPECT_EQ(Raised<EProtocol>(-6008).ErrorCode, -6008);

    for (int code : {-1, -1001, -3002, -5001, -99999}) {
        const ESerialException e = Raised<ESerialException>(code);
        EXPECT_EQ(e.Message(), "Serial exception") << code;
        EXPECT_EQ(e.ErrorCode, 0) << code;
    }
}

TEST(ErrorCodes, SystemTextsAreCleaned)
{
    EXPECT_EQ(CleanSystemText(QStringLiteral("Bad thing.\r\n")), "Bad thing. ");
    EXPECT_EQ(CleanSystemText(QStringLiteral("a \t\t b")), "a b");
    EXPECT_EQ(ErrorText(-3006), "Output buffer too small for block");
    EXPECT_EQ(ErrorText(-2011 - 65536), ErrorText(-2011)) << "only the low 16 bits count";
}

TEST(ErrorCodes, LinuxErrorsBecomeTheCodesTheComponentMaps)
{
    EXPECT_EQ(SystemCodeFromErrno(ENOENT), 2);
    EXPECT_EQ(SystemCodeFromErrno(ENODEV), 2);
    EXPECT_EQ(SystemCodeFromErrno(EACCES), 5);
    EXPECT_EQ(SystemCodeFromErrno(EBUSY), 5);
    EXPECT_EQ(SystemCodeFromErrno(EINVAL), 87);
}
