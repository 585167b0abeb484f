#include "serial/strresmgr.h"

#include <QFile>

namespace {

constexpr uint32_t MsgStringNotFound = 1;
constexpr uint32_t MsgCannotLock = 2;
constexpr uint32_t MsgResourceNotFound = 3;
constexpr uint32_t MsgCannotOpen = 4;
constexpr uint32_t MsgInvalidResource = 5;

// Raises with a message of the reader's own table; while that table itself is being
// loaded, the resource name alone is the message.
[[noreturn]] void RaiseReaderError(uint32_t id, const QString& arg, bool loadingManager)
{
    if (loadingManager)
        throw ETpsStringResourceError(arg);
    QString text = StrResMgrStrings().GetStringById(id);
    if (id == MsgStringNotFound)
        text.replace(QLatin1String("%d"), arg);
    else
        text.replace(QLatin1String("%s"), arg);
    throw ETpsStringResourceError(text);
}

bool IsManagerTable(const QString& name) { return name == QLatin1String("STRRESMGR_STRINGS"); }

}  // namespace

TAdStringResource::TAdStringResource(const QString& resourceName)
{
    QFile file(QStringLiteral(":/serial/strings/") + resourceName);
    if (!file.exists())
        RaiseReaderError(MsgResourceNotFound, resourceName, IsManagerTable(resourceName));
    if (!file.open(QIODevice::ReadOnly))
        RaiseReaderError(MsgCannotOpen, resourceName, IsManagerTable(resourceName));
    data_ = file.readAll();
    Check(resourceName);
}

TAdStringResource::TAdStringResource(const QString& resourceName, const QByteArray& data) : data_(data)
{
    Check(resourceName);
}

uint32_t TAdStringResource::Read32(uint32_t offset) const
{
    const auto* p = reinterpret_cast<const unsigned char*>(data_.constData()) + offset;
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

void TAdStringResource::Check(const QString& resourceName)
{
    const bool manager = IsManagerTable(resourceName);
    if (data_.isNull())
        RaiseReaderError(MsgCannotLock, resourceName, manager);
    if (data_.size() < 8 || !data_.startsWith("STR0"))
        RaiseReaderError(MsgInvalidResource, resourceName, manager);
    const uint64_t size = static_cast<uint64_t>(data_.size());
    const uint32_t n = Read32(4);
    if (8 + 12ull * n > size)
        RaiseReaderError(MsgInvalidResource, resourceName, manager);
    // Every text must lie inside the table, and the ids must be sorted for the search.
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t base = 8 + 12 * i;
        const uint64_t end = uint64_t(Read32(base + 4)) + 2ull * Read32(base + 8);
        if (end > size || (i > 0 && Read32(base) <= Read32(base - 12)))
            RaiseReaderError(MsgInvalidResource, resourceName, manager);
    }
    count_ = n;
}

int64_t TAdStringResource::Lookup(uint32_t id) const
{
    int64_t lo = 0;
    int64_t hi = int64_t(count_) - 1;
    while (lo <= hi) {
        const int64_t mid = (lo + hi) / 2;
        const uint32_t midId = Read32(static_cast<uint32_t>(8 + 12 * mid));
        if (midId == id)
            return mid;
        if (midId < id)
            lo = mid + 1;
        else
            hi = mid - 1;
    }
    return -1;
}

QString TAdStringResource::GetStringById(uint32_t id) const
{
    const int64_t index = Lookup(id);
    if (index < 0) {
        if (RaiseIfMissing)
            RaiseReaderError(MsgStringNotFound, QString::number(id), false);
        return {};
    }
    const uint32_t base = static_cast<uint32_t>(8 + 12 * index);
    const uint32_t offset = Read32(base + 4);
    const uint32_t length = Read32(base + 8);
    QString text(static_cast<qsizetype>(length), Qt::Uninitialized);
    const auto* p = reinterpret_cast<const unsigned char*>(data_.constData()) + offset;
    for (uint32_t i = 0; i < length; ++i)
        text[i] = QChar(static_cast<char16_t>(p[2 * i] | (p[2 * i + 1] << 8)));
    return text;
}

const TAdStringResource& StrResMgrStrings()
{
    static const TAdStringResource table(QStringLiteral("STRRESMGR_STRINGS"));
    return table;
}

const TAdStringResource& SerialErrorStrings()
{
    StrResMgrStrings();  // the reader's own messages come first
    static const TAdStringResource table(QStringLiteral("SERIAL_ERROR_STRINGS_ENGLISH"));
    return table;
}
