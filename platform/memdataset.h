// A dataset held in memory: fields declared with AddField, records appended by the program.
// Keeps its records across Close and Open. Used for lookup lists and for tests.
#pragma once

#include "platform/dataset.h"

#include <initializer_list>

class TMemDataSet : public TDataSet {
public:
    TMemDataSet() = default;
    ~TMemDataSet() override;

    // Appends and posts one record; values go to the data fields in order (fewer values leave
    // the rest null). The dataset must be open.
    void AppendRecord(const std::vector<Variant>& values);
    // Removes every record.
    void EmptyDataSet();

protected:
    void InternalOpen() override;
    void InternalClose() override;

private:
    std::vector<std::unique_ptr<TRecordData>> kept_;
};
