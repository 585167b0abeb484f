#include "platform/memdataset.h"

#include <gtest/gtest.h>

namespace {

// id INTEGER, name STRING(20), amount FLOAT; `rows` records named r1, r2, ...
std::unique_ptr<TMemDataSet> MakeSet(int rows)
{
    auto ds = std::make_unique<TMemDataSet>();
    ds->AddField(ftInteger, "id");
    ds->AddField(ftString, "name", 20);
    ds->AddField(ftFloat, "amount");
    ds->Open();
    for (int i = 1; i <= rows; ++i)
        ds->AppendRecord({i, QString("r%1").arg(i), i * 1.5});
    ds->First();
    return ds;
}

QString ExceptionText(const std::function<void()>& f)
{
    try {
        f();
    } catch (const Exception& e) {
        return e.Message();
    }
    return QString();
}

}  // namespace

TEST(DataSetNavigation, EmptyDataSetIsBothBofAndEof)
{
    auto ds = MakeSet(0);
    EXPECT_TRUE(ds->Bof());
    EXPECT_TRUE(ds->Eof());
    EXPECT_TRUE(ds->IsEmpty());
    EXPECT_EQ(ds->RecordCount(), 0);
    EXPECT_EQ(ds->RecNo(), 0);
    EXPECT_EQ(ds->MoveBy(1), 0);
    ds->Next();
    ds->Prior();
    EXPECT_TRUE(ds->Bof() && ds->Eof());
    EXPECT_TRUE(ds->FieldByName("id")->IsNull());
}

TEST(DataSetNavigation, OneRecordNextSetsEofAndStays)
{
    auto ds = MakeSet(1);
    EXPECT_TRUE(ds->Bof());
    EXPECT_FALSE(ds->Eof());
    ds->Next();
    EXPECT_TRUE(ds->Eof());
    EXPECT_EQ(ds->RecNo(), 1);
    EXPECT_EQ(ds->FieldByName("id")->AsInteger(), 1);
    ds->Prior();
    EXPECT_TRUE(ds->Bof());
    EXPECT_FALSE(ds->Eof());
}

TEST(DataSetNavigation, ManyRecordsWalkAndMoveBy)
{
    auto ds = MakeSet(5);
    int seen = 0;
    for (ds->First(); !ds->Eof(); ds->Next())
        EXPECT_EQ(ds->FieldByName("id")->AsInteger(), ++seen);
    EXPECT_EQ(seen, 5);
    EXPECT_EQ(ds->RecNo(), 5);
    ds->First();
    EXPECT_EQ(ds->MoveBy(10), 4);
    EXPECT_TRUE(ds->Eof());
    EXPECT_EQ(ds->MoveBy(-2), -2);
    EXPECT_EQ(ds->RecNo(), 3);
    EXPECT_FALSE(ds->Bof() || ds->Eof());
    ds->SetRecNo(5);
    EXPECT_EQ(ds->FieldByName("name")->AsString(), "r5");
    ds->Last();
    EXPECT_TRUE(ds->Eof());
    EXPECT_EQ(ds->RecordCount(), 5);
}

TEST(DataSetNavigation, ClosedDataSetAndMissingFieldRaise)
{
    TMemDataSet ds;
    ds.AddField(ftInteger, "id");
    EXPECT_EQ(ExceptionText([&] { ds.First(); }), "Cannot perform this operation on a closed dataset");
    EXPECT_EQ(ExceptionText([&] { ds.RecordCount(); }), "Cannot perform this operation on a closed dataset");
    EXPECT_EQ(ExceptionText([&] { ds.Cancel(); }), "");   // nothing to cancel is no error
    ds.Open();
    EXPECT_EQ(ExceptionText([&] { ds.FieldByName("nosuch"); }), "Field 'nosuch' not found");
    EXPECT_EQ(ds.FieldByName("ID"), ds.Field(0));   // names are case-insensitive
}

TEST(DataSetBookmarks, SurviveDeletesOfOtherRecordsAndCompareInOrder)
{
    auto ds = MakeSet(5);
    ds->SetRecNo(2);
    const TBookmark b2 = ds->GetBookmark();
    ds->SetRecNo(4);
    const TBookmark b4 = ds->GetBookmark();
    EXPECT_EQ(ds->CompareBookmarks(b2, b4), -1);
    EXPECT_EQ(ds->CompareBookmarks(b4, b2), 1);
    EXPECT_EQ(ds->CompareBookmarks(b2, b2), 0);
    EXPECT_EQ(ds->CompareBookmarks(TBookmark{}, b2), -1);

    ds->SetRecNo(3);
    ds->Delete();
    ds->First();
    ds->Delete();   // record 1
    EXPECT_TRUE(ds->BookmarkValid(b4));
    ds->GotoBookmark(b4);
    EXPECT_EQ(ds->FieldByName("id")->AsInteger(), 4);
    EXPECT_EQ(ds->RecNo(), 2);
    ds->GotoBookmark(b2);
    ds->Delete();
    EXPECT_FALSE(ds->BookmarkValid(b2));
    EXPECT_EQ(ExceptionText([&] { ds->GotoBookmark(b2); }), QStringLiteral("Запись не найдена"));
    EXPECT_EQ(ds->RecordCount(), 2);

    // A record inserted in the middle sorts where it stands, not by its age.
    ds->Last();
    const TBookmark last = ds->GetBookmark();
    ds->Insert();
    ds->FieldByName("id")->SetAsInteger(99);
    ds->Post();
    const TBookmark inserted = ds->GetBookmark();
    EXPECT_EQ(ds->CompareBookmarks(inserted, last), -1);
    EXPECT_EQ(ds->CompareBookmarks(b4, inserted), -1);
}

TEST(DataSetEditing, CancelRestoresAndPostKeeps)
{
    auto ds = MakeSet(3);
    ds->SetRecNo(2);
    ds->Edit();
    EXPECT_EQ(ds->State(), dsEdit);
    ds->FieldByName("name")->SetAsString("changed");
    EXPECT_TRUE(ds->Modified());
    EXPECT_EQ(ds->FieldByName("name")->AsString(), "changed");
    ds->Cancel();
    EXPECT_EQ(ds->FieldByName("name")->AsString(), "r2");
    EXPECT_FALSE(ds->Modified());

    ds->Edit();
    ds->FieldByName("amount")->SetAsFloat(7.25);
    ds->Post();
    EXPECT_EQ(ds->State(), dsBrowse);
    EXPECT_DOUBLE_EQ(ds->FieldByName("amount")->AsFloat(), 7.25);

    ds->Insert();
    EXPECT_EQ(ds->RecNo(), 2);   // inserted before the current record
    ds->Cancel();
    EXPECT_EQ(ds->RecordCount(), 3);
    EXPECT_EQ(ds->FieldByName("id")->AsInteger(), 2);
}

TEST(DataSetEditing, MovingPostsPendingEditsAndDropsUnchangedInsert)
{
    auto ds = MakeSet(3);
    ds->Edit();
    ds->FieldByName("name")->SetAsString("first");
    ds->Next();
    EXPECT_EQ(ds->State(), dsBrowse);
    ds->First();
    EXPECT_EQ(ds->FieldByName("name")->AsString(), "first");

    ds->Append();
    ds->First();   // nothing typed: the new record goes away
    EXPECT_EQ(ds->RecordCount(), 3);
    EXPECT_EQ(ExceptionText([&] { ds->FieldByName("id")->SetAsInteger(1); }), QStringLiteral("Набор данных не в режиме правки или вставки"));
}

TEST(DataSetEditing, ClosingDropsAnUnpostedRecord)
{
    auto ds = MakeSet(3);
    ds->Insert();
    ds->FieldByName("name")->SetAsString("typed");
    ds->Close();   // closing posts nothing
    ds->Open();
    EXPECT_EQ(ds->RecordCount(), 3);
    QStringList names;
    for (; !ds->Eof(); ds->Next())
        names << ds->FieldByName("name")->AsString();
    EXPECT_EQ(names, (QStringList{"r1", "r2", "r3"}));

    ds->Last();
    ds->Edit();
    ds->FieldByName("name")->SetAsString("changed");
    ds->Close();
    ds->Open();
    ds->Last();
    EXPECT_EQ(ds->FieldByName("name")->AsString(), "r3");
}

TEST(DataSetEditing, ConversionsAndRanges)
{
    TMemDataSet ds;
    ds.AddField(ftSmallint, "s");
    ds.AddField(ftBoolean, "b");
    ds.AddField(ftDate, "d")->SetDisplayFormat("dd.mm.yyyy");
    ds.AddField(ftFloat, "f");
    ds.Open();
    ds.Append();
    EXPECT_THROW(ds.FieldByName("s")->SetAsInteger(40000), EDatabaseError);
    ds.FieldByName("s")->SetAsString("123");
    ds.FieldByName("b")->SetAsString("True");
    ds.FieldByName("d")->SetAsDateTime(EncodeDateTime(2007, 5, 10, 13, 0, 0, 0));
    EXPECT_THROW(ds.FieldByName("f")->SetAsString("abc"), EConvertError);
    ds.Post();
    EXPECT_EQ(ds.FieldByName("s")->AsInteger(), 123);
    EXPECT_TRUE(ds.FieldByName("b")->AsBoolean());
    EXPECT_EQ(ds.FieldByName("b")->DisplayText(), "True");
    EXPECT_EQ(ds.FieldByName("d")->DisplayText(), "10.05.2007");   // a date field keeps the day only
    EXPECT_DOUBLE_EQ(ds.FieldByName("d")->AsDateTime(), EncodeDate(2007, 5, 10));
    EXPECT_TRUE(ds.FieldByName("f")->IsNull());
    EXPECT_EQ(ds.FieldByName("f")->AsFloat(), 0.0);
    EXPECT_TRUE(ds.FieldByName("s")->IsValidChar('5'));
    EXPECT_FALSE(ds.FieldByName("s")->IsValidChar('x'));
    EXPECT_EQ(ds.FieldByName("s")->Alignment(), taRightJustify);
}

TEST(DataSetCalcFields, ComputedOnFetchAndAfterPost)
{
    TMemDataSet ds;
    ds.AddField(ftInteger, "a");
    ds.AddField(ftInteger, "doubled", 0, fkCalculated);
    int calls = 0;
    ds.OnCalcFields.Add([&](TDataSet& d) {
        ++calls;
        EXPECT_EQ(d.State(), dsCalcFields);
        d.FieldByName("doubled")->SetAsInteger(d.FieldByName("a")->AsInteger() * 2);
    });
    ds.Open();
    ds.AppendRecord({21});
    EXPECT_EQ(ds.FieldByName("doubled")->AsInteger(), 42);
    ds.Edit();
    ds.FieldByName("a")->SetAsInteger(5);
    ds.Post();
    EXPECT_EQ(ds.FieldByName("doubled")->AsInteger(), 10);
    EXPECT_THROW(ds.FieldByName("doubled")->SetAsInteger(1), EDatabaseError);
    const int before = calls;
    ds.Close();
    ds.Open();   // records kept; computed again when read
    EXPECT_EQ(ds.FieldByName("doubled")->AsInteger(), 10);
    EXPECT_GT(calls, before);
}

TEST(DataSetCalcFields, AWalkOverEveryRecordKeepsTheValuesOfOnlyTheLastRead)
{
    constexpr int kKept = int(TDataSet::CalculatedRecordsKept);
    auto ds = MakeSet(4 * kKept);
    ds->Close();
    ds->AddField(ftString, "label", 20, fkCalculated);
    std::vector<int> computed(std::size_t(4 * kKept) + 1, 0);
    ds->OnCalcFields.Add([&](TDataSet& d) {
        const int id = d.FieldByName("id")->AsInteger();
        ++computed[std::size_t(id)];
        d.FieldByName("label")->SetAsString(QStringLiteral("#%1").arg(id, 6, 10, QLatin1Char('0')));
    });
    ds->Open();
    const std::size_t loaded = ds->RecordBytes();
    // What the values of as many records as are kept cost.
    for (ds->First(); ds->RecNo() <= kKept && !ds->Eof(); ds->Next())
        ASSERT_EQ(ds->FieldByName("label")->AsString(), QStringLiteral("#%1").arg(ds->RecNo(), 6, 10, QLatin1Char('0')));
    const std::size_t kept = ds->RecordBytes() - loaded;
    EXPECT_GT(kept, 0u);
    // Reading every record, and searching every record by the calculated field, holds no more.
    for (ds->First(); !ds->Eof(); ds->Next())
        ASSERT_FALSE(ds->FieldByName("label")->AsString().isEmpty());
    EXPECT_EQ(ds->RecordBytes() - loaded, kept);
    EXPECT_FALSE(ds->Locate("label", QStringLiteral("none")));
    EXPECT_EQ(ds->RecordBytes() - loaded, kept);
    // A record read again is computed again and shows the same value.
    ds->First();
    EXPECT_EQ(ds->FieldByName("label")->AsString(), QStringLiteral("#000001"));
    EXPECT_EQ(computed[1], 3);
    // The values read last are kept: reading them again computes nothing.
    ds->Last();
    const int last = computed.back();
    EXPECT_EQ(ds->FieldByName("label")->AsString(), QStringLiteral("#%1").arg(4 * kKept, 6, 10, QLatin1Char('0')));
    EXPECT_EQ(computed.back(), last);
    // Records kept over a close give up what was computed for them.
    ds->Close();
    ds->Open();
    EXPECT_EQ(ds->RecordBytes(), loaded);
}

TEST(DataSetEvents, ObserversRunInOrderAndCanBeRemoved)
{
    auto ds = MakeSet(3);
    std::vector<std::string> log;
    ds->AfterScroll.Add([&](TDataSet&) { log.push_back("program"); });
    const int after = ds->AfterScroll.Add([&](TDataSet&) { log.push_back("after"); }, 1);
    ds->AfterScroll.Add([&](TDataSet&) { log.push_back("before"); }, -1);
    ds->AfterScroll.Add([&](TDataSet&) { log.push_back("program2"); });
    ds->Next();
    EXPECT_EQ(log, (std::vector<std::string>{"before", "program", "program2", "after"}));
    log.clear();
    ds->AfterScroll.Remove(after);
    ds->Next();
    EXPECT_EQ(log, (std::vector<std::string>{"before", "program", "program2"}));
}

TEST(DataSetEvents, OpenPostDeleteSequence)
{
    TMemDataSet ds;
    ds.AddField(ftInteger, "a");
    std::vector<std::string> log;
    auto rec = [&](const char* name) { return [&log, name](TDataSet&) { log.push_back(name); }; };
    ds.BeforeOpen.Add(rec("BeforeOpen"));
    ds.AfterOpen.Add(rec("AfterOpen"));
    ds.BeforeInsert.Add(rec("BeforeInsert"));
    ds.AfterInsert.Add(rec("AfterInsert"));
    ds.BeforePost.Add(rec("BeforePost"));
    ds.AfterPost.Add(rec("AfterPost"));
    ds.BeforeDelete.Add(rec("BeforeDelete"));
    ds.AfterDelete.Add(rec("AfterDelete"));
    ds.AfterClose.Add(rec("AfterClose"));
    ds.Open();
    ds.AppendRecord({1});
    ds.Delete();
    ds.Close();
    EXPECT_EQ(log, (std::vector<std::string>{"BeforeOpen", "AfterOpen", "BeforeInsert", "AfterInsert", "BeforePost",
                                             "AfterPost", "BeforeDelete", "AfterDelete", "AfterClose"}));
}

TEST(DataSetLocate, CyrillicCaseFoldingAndPartialKeys)
{
    TMemDataSet ds;
    ds.AddField(ftInteger, "id");
    ds.AddField(ftString, "name", 30);
    ds.Open();
    ds.AppendRecord({1, QString("Альфа")});
    ds.AppendRecord({2, QString("СТОП1")});
    ds.AppendRecord({3, QString("Ёлка")});
    ds.First();
    EXPECT_FALSE(ds.Locate("name", QString("стоп1")));
    EXPECT_EQ(ds.RecNo(), 1);
    EXPECT_TRUE(ds.Locate("name", QString("стоп1"), loCaseInsensitive));
    EXPECT_EQ(ds.FieldByName("id")->AsInteger(), 2);
    EXPECT_TRUE(ds.Locate("name", QString("ёл"), loCaseInsensitive | loPartialKey));
    EXPECT_EQ(ds.FieldByName("id")->AsInteger(), 3);
    EXPECT_TRUE(ds.Locate("id;name", VarArrayOf({1, QString("Альфа")})));
    EXPECT_EQ(ds.RecNo(), 1);
    EXPECT_FALSE(ds.Locate("id;name", VarArrayOf({1, QString("СТОП1")})));
    EXPECT_TRUE(ds.Locate("id", QString("2")));   // key converted to the field's type
    EXPECT_EQ(ds.Lookup("id", 3, "name").AsString(), "Ёлка");
    EXPECT_EQ(ds.RecNo(), 2);   // lookup does not move
    EXPECT_TRUE(ds.Lookup("id", 9, "name").IsNull());
}

TEST(DataSetFilter, PredicateHidesRecordsAndFlagsMatter)
{
    auto ds = MakeSet(6);
    ds->SetFilter("even");
    ds->OnFilterRecord = [](TDataSet& d) { return d.FieldByName("id")->AsInteger() % 2 == 0; };
    EXPECT_EQ(ds->RecordCount(), 6);   // not filtered yet
    ds->SetFiltered(true);
    EXPECT_EQ(ds->RecordCount(), 3);
    EXPECT_EQ(ds->FieldByName("id")->AsInteger(), 2);
    ds->Last();
    EXPECT_EQ(ds->FieldByName("id")->AsInteger(), 6);
    EXPECT_FALSE(ds->Locate("id", 3));
    ds->SetFiltered(false);
    EXPECT_EQ(ds->RecordCount(), 6);
    EXPECT_EQ(ds->Filter(), "even");
}

TEST(DataSetLookupField, TakesValueFromLookupDataSet)
{
    TMemDataSet types;
    types.AddField(ftInteger, "code");
    types.AddField(ftString, "title", 10);
    types.Open();
    types.AppendRecord({0, QString("НЕТ")});
    types.AppendRecord({1, QString("СТОП1")});

    TMemDataSet ds;
    ds.AddField(ftInteger, "btn");
    TField* look = ds.AddField(ftString, "btnName", 10, fkLookup);
    look->SetLookupDataSet(&types);
    look->SetKeyFields("btn");
    look->SetLookupKeyFields("code");
    look->SetLookupResultField("title");
    ds.Open();
    ds.AppendRecord({1});
    EXPECT_EQ(look->AsString(), "СТОП1");
    EXPECT_TRUE(look->CanModify());
    ds.Edit();
    ds.FieldByName("btn")->SetAsInteger(0);
    ds.Post();
    EXPECT_EQ(look->AsString(), "НЕТ");
}

TEST(RecordValues, EveryKindOfValueReadsBackAsItWasAfterAnyChange)
{
    const std::vector<Variant> values{
        Variant(), Variant::Null(), Variant(true), Variant(false), Variant(-123456), Variant::FromInt64(1LL << 40),
        Variant(2.5), Variant::FromDateTime(39212.5), Variant(Currency::FromRaw(123456789)),
        Variant(QStringLiteral("Контакт 1")), Variant(QByteArray("\x00\x01\xff", 3)),
        VarArrayOf({Variant(1), Variant(QStringLiteral("a"))})};
    TRecordValues r;
    r.resize(values.size());
    for (std::size_t i = 0; i < values.size(); ++i)
        EXPECT_TRUE(r[i].IsEmpty());
    // Filled from the last to the first, so that every value moves the ones after it.
    for (std::size_t i = values.size(); i-- > 0;)
        r.Set(i, values[i]);
    for (std::size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(r[i].Type(), values[i].Type()) << i;
        EXPECT_TRUE(r[i] == values[i]) << i;
    }
    EXPECT_TRUE(r.IsClear(0));
    EXPECT_TRUE(r.IsClear(1));
    EXPECT_FALSE(r.IsClear(2));

    // A copy is independent; a text that grows or shrinks keeps its neighbours.
    TRecordValues copy = r;
    r.Set(9, Variant(QStringLiteral("длинный текст контакта")));
    r.Set(11, Variant(7));
    EXPECT_EQ(copy[9].AsString(), QStringLiteral("Контакт 1"));
    EXPECT_EQ(copy[11].ArrayCount(), 2);
    EXPECT_EQ(r[9].AsString(), QStringLiteral("длинный текст контакта"));
    EXPECT_EQ(r[10].AsBytes(), QByteArray("\x00\x01\xff", 3));
    EXPECT_EQ(r[11].AsInteger(), 7);
    r.Set(9, Variant(QString()));
    EXPECT_EQ(r[8].AsCurrency().Value, 123456789);
    EXPECT_EQ(r[10].AsBytes(), QByteArray("\x00\x01\xff", 3));

    // Growing keeps the values; shrinking drops the last ones.
    copy.resize(14);
    EXPECT_EQ(copy[10].AsBytes(), QByteArray("\x00\x01\xff", 3));
    EXPECT_EQ(copy[11].ArrayCount(), 2);
    EXPECT_TRUE(copy[13].IsEmpty());
    copy.resize(5);
    EXPECT_EQ(copy.size(), 5u);
    EXPECT_EQ(copy[4].AsInteger(), -123456);
    EXPECT_TRUE(copy[11].IsEmpty());
}

TEST(DataSetCalcFields, OnlyRecordsThatAreReadAreComputed)
{
    auto ds = MakeSet(100);
    ds->Close();
    ds->AddField(ftInteger, "tripled", 0, fkCalculated);
    int calls = 0;
    ds->OnCalcFields.Add([&](TDataSet& d) {
        ++calls;
        d.FieldByName("tripled")->SetAsInteger(d.FieldByName("id")->AsInteger() * 3);
    });
    ds->Open();
    ds->Last();
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(ds->FieldByName("tripled")->AsInteger(), 300);
    EXPECT_EQ(ds->FieldByName("tripled")->AsInteger(), 300);
    EXPECT_EQ(calls, 1);
    // A search by a calculated field computes what it looks at.
    EXPECT_TRUE(ds->Locate("tripled", 150));
    EXPECT_EQ(ds->FieldByName("id")->AsInteger(), 50);
    EXPECT_EQ(ds->Lookup("id", 7, "tripled").AsInteger(), 21);
    // Recalculating runs the handler again for what is read next.
    ds->RecalcFields();
    const int before = calls;
    EXPECT_EQ(ds->FieldByName("tripled")->AsInteger(), 150);
    EXPECT_EQ(calls, before + 1);
}
