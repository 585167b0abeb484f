// Reader of the serial library's string tables: "STR0", a count, entries sorted by id
// {id, offset, length in UTF-16 units} and the UTF-16LE texts, compiled in as resources.
#pragma once

#include "platform/exceptions.h"

#include <QByteArray>
#include <QString>
#include <cstdint>

class ETpsStringResourceError : public Exception {
public:
    using Exception::Exception;
};

class TAdStringResource {
public:
    // Loads the compiled-in table of that name; raises ETpsStringResourceError when it is
    // missing or damaged.
    explicit TAdStringResource(const QString& resourceName);
    // A table from bytes already in memory (same checks).
    TAdStringResource(const QString& resourceName, const QByteArray& data);

    // The text of an id; the empty string when the id is absent (or raises when RaiseIfMissing).
    QString GetStringById(uint32_t id) const;
    uint32_t Count() const { return count_; }

    bool RaiseIfMissing = false;

private:
    void Check(const QString& resourceName);
    // Index of the entry with that id, or -1.
    int64_t Lookup(uint32_t id) const;
    uint32_t Read32(uint32_t offset) const;

    QByteArray data_;
    uint32_t count_ = 0;
};

// The reader's own messages and the error texts, created on first use and kept for the run.
const TAdStringResource& StrResMgrStrings();
const TAdStringResource& SerialErrorStrings();
