#include "platform/exceptions.h"
#include "platform/streams.h"
#include "platform/stringlist.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
QString U(const char* s)
{
    return QString::fromUtf8(s);
}
} // namespace

TEST(StringList, UnsortedEditing)
{
    TStringList l;
    int tag = 7;
    EXPECT_EQ(l.Add("b"), 0);
    EXPECT_EQ(l.AddObject("a", &tag), 1);
    l.Insert(0, "c");
    EXPECT_EQ(l.ToQStringList(), QStringList({"c", "b", "a"}));
    EXPECT_EQ(l.Objects(2), &tag);
    EXPECT_EQ(l.IndexOfObject(&tag), 2);
    EXPECT_EQ(l.IndexOf("B"), 1);   // case-insensitive by default
    l.Delete(1);
    EXPECT_EQ(l.ToQStringList(), QStringList({"c", "a"}));
    l.Move(0, 1);
    EXPECT_EQ(l.ToQStringList(), QStringList({"a", "c"}));
    EXPECT_THROW(l.Strings(2), EListError);
    EXPECT_THROW(l.Delete(-1), EListError);
    EXPECT_THROW(l.Insert(5, "x"), EListError);
    l.Clear();
    EXPECT_EQ(l.Count(), 0);
}

TEST(StringList, SortedInsensitiveFindFoldsCyrillic)
{
    TStringList l;
    l.SetSorted(true);
    l.Add(U("Яблоко"));
    l.Add(U("арбуз"));
    l.Add(U("Банан"));
    l.Add("apple");
    EXPECT_EQ(l.ToQStringList(), QStringList({"apple", U("арбуз"), U("Банан"), U("Яблоко")}));
    int index = -1;
    EXPECT_TRUE(l.Find(U("БАНАН"), index));
    EXPECT_EQ(index, 2);
    EXPECT_TRUE(l.Find(U("яблоко"), index));
    EXPECT_EQ(index, 3);
    EXPECT_FALSE(l.Find(U("вишня"), index));
    EXPECT_EQ(index, 3);   // where it would go
    EXPECT_EQ(l.IndexOf(U("АРБУЗ")), 1);
    EXPECT_THROW(l.Insert(0, "x"), EListError);

    // Duplicates are compared the same way.
    EXPECT_EQ(l.Add(U("банан")), 2);
    EXPECT_EQ(l.Count(), 4);
    l.SetDuplicates(dupError);
    EXPECT_THROW(l.Add(U("БАНАН")), EListError);
    l.SetDuplicates(dupAccept);
    l.Add(U("БАНАН"));
    EXPECT_EQ(l.Count(), 5);

    // Case-sensitive: the letters no longer match.
    l.SetCaseSensitive(true);
    EXPECT_EQ(l.IndexOf(U("банан")), -1);
    EXPECT_GE(l.IndexOf(U("Банан")), 0);
}

TEST(StringList, TextUsesCrLf)
{
    TStringList l;
    l.SetText("one\r\ntwo\nthree\rfour");
    EXPECT_EQ(l.ToQStringList(), QStringList({"one", "two", "three", "four"}));
    EXPECT_EQ(l.Text(), "one\r\ntwo\r\nthree\r\nfour\r\n");
    l.SetText("a\r\n\r\nb\r\n");
    EXPECT_EQ(l.ToQStringList(), QStringList({"a", "", "b"}));
    l.SetText("");
    EXPECT_EQ(l.Count(), 0);
}

TEST(StringList, CommaTextQuotesWhatNeedsIt)
{
    TStringList l;
    l.Add("plain");
    l.Add("with blank");
    l.Add("say \"hi\"");
    l.Add("a,b");
    EXPECT_EQ(l.CommaText(), "plain,\"with blank\",\"say \"\"hi\"\"\",\"a,b\"");
    TStringList back;
    back.SetCommaText(l.CommaText());
    EXPECT_TRUE(back.Equals(l));
    back.SetCommaText("x, y z,\"q r\",");
    EXPECT_EQ(back.ToQStringList(), QStringList({"x", "y", "z", "q r", ""}));
}

TEST(StringList, NamesAndValues)
{
    TStringList l;
    l.Add("Port=COM1");
    l.Add("Baud=9600");
    l.Add("no value here");
    EXPECT_EQ(l.Values("baud"), "9600");
    EXPECT_EQ(l.Names(0), "Port");
    EXPECT_EQ(l.ValueFromIndex(0), "COM1");
    EXPECT_EQ(l.Names(2), "");
    l.SetValue("Baud", "19200");
    EXPECT_EQ(l.Strings(1), "Baud=19200");
    l.SetValue("Parity", "N");
    EXPECT_EQ(l.Count(), 4);
    l.SetValue("Port", "");
    EXPECT_EQ(l.IndexOfName("Port"), -1);
    EXPECT_EQ(l.Values("Missing"), "");
}

TEST(StringList, FilesAreCp1251WithCrLf)
{
    QTemporaryDir dir;
    const QString name = dir.filePath("list.txt");
    TStringList l;
    l.Add(U("Привет"));
    l.Add(U("№1"));
    l.SaveToFile(name);
    TMemoryStream raw;
    raw.LoadFromFile(name);
    EXPECT_EQ(raw.Bytes(), QByteArray("\xCF\xF0\xE8\xE2\xE5\xF2\r\n\xB9" "1\r\n"));
    TStringList back;
    back.LoadFromFile(name);
    EXPECT_TRUE(back.Equals(l));
    EXPECT_THROW(back.LoadFromFile(dir.filePath("missing")), EFOpenError);
}

TEST(StringList, ChangeNotificationsAreBatched)
{
    TStringList l;
    int changes = 0;
    int changing = 0;
    l.OnChange = [&] { ++changes; };
    l.OnChanging = [&] { ++changing; };
    l.Add("a");
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(changing, 1);
    l.BeginUpdate();
    l.Add("b");
    l.BeginUpdate();
    l.Add("c");
    l.EndUpdate();
    EXPECT_EQ(changes, 1);
    l.EndUpdate();
    EXPECT_EQ(changes, 2);
    l.BeginUpdate();
    l.EndUpdate();   // nothing changed: no event
    EXPECT_EQ(changes, 2);
    l.SetText("x\r\ny");
    EXPECT_EQ(changes, 3);
    // A copy takes the data but not the handlers.
    TStringList copy = l;
    copy.Add("z");
    EXPECT_EQ(changes, 3);
    EXPECT_EQ(copy.Count(), 3);
}

TEST(StringList, CustomSortSeesTheListAsItWas)
{
    TStringList l(QStringList{"10", "9", "100"});
    l.CustomSort([](const TStringList& list, int a, int b) {
        return list.Strings(a).toInt() - list.Strings(b).toInt();
    });
    EXPECT_EQ(l.ToQStringList(), QStringList({"9", "10", "100"}));
}
