#include "platform/exceptions.h"
#include "platform/streams.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(MemoryStream, ReadsAndWritesWithinBounds)
{
    TMemoryStream s;
    s.WriteBuffer(QByteArray("hello"));
    EXPECT_EQ(s.Size(), 5);
    EXPECT_EQ(s.Position(), 5);
    char buf[8] = {};
    EXPECT_EQ(s.Read(buf, 3), 0);   // at the end
    s.SetPosition(1);
    EXPECT_EQ(s.Read(buf, 8), 4);   // short read past the end
    EXPECT_EQ(QByteArray(buf, 4), "ello");
    EXPECT_EQ(s.Position(), 5);
    EXPECT_EQ(s.Seek(-2, soEnd), 3);
    EXPECT_EQ(s.Seek(1, soCurrent), 4);
    EXPECT_EQ(s.Seek(-100, soCurrent), 0);   // clamped to the start
}

TEST(MemoryStream, ReadBufferRaisesOnAShortRead)
{
    TMemoryStream s(QByteArray("abc"));
    char buf[4] = {};
    EXPECT_THROW(s.ReadBuffer(buf, 4), EReadError);
    s.SetPosition(0);
    s.ReadBuffer(buf, 3);
    EXPECT_EQ(QByteArray(buf, 3), "abc");
    try {
        s.ReadBuffer(buf, 1);
        FAIL() << "no exception";
    } catch (const EReadError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Ошибка чтения потока"));
    }
    EXPECT_NO_THROW(s.ReadBuffer(buf, 0));
}

TEST(MemoryStream, SeekingBeyondTheEndThenWritingFillsWithZeros)
{
    TMemoryStream s(QByteArray("ab"));
    EXPECT_EQ(s.Seek(5, soBeginning), 5);
    char c = 0;
    EXPECT_EQ(s.Read(&c, 1), 0);
    EXPECT_EQ(s.Size(), 2);   // seeking alone does not grow the stream
    s.WriteBuffer("Z", 1);
    EXPECT_EQ(s.Bytes(), QByteArray("ab\0\0\0Z", 6));
    s.SetSize(3);
    EXPECT_EQ(s.Position(), 3);
    s.SetSize(5);
    EXPECT_EQ(s.Bytes(), QByteArray("ab\0\0\0", 5));
    s.Clear();
    EXPECT_EQ(s.Size(), 0);
    EXPECT_EQ(s.Position(), 0);
}

TEST(MemoryStream, CopyFrom)
{
    TMemoryStream src(QByteArray("0123456789"));
    TMemoryStream dst;
    src.SetPosition(8);
    EXPECT_EQ(dst.CopyFrom(src, 0), 10);   // 0: everything from the start
    EXPECT_EQ(dst.Bytes(), "0123456789");
    src.SetPosition(2);
    TMemoryStream part;
    part.CopyFrom(src, 3);
    EXPECT_EQ(part.Bytes(), "234");
    src.SetPosition(8);
    EXPECT_THROW(part.CopyFrom(src, 5), EReadError);
}

TEST(FileStream, CreateWriteReopenRead)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString name = dir.filePath(QString::fromUtf8("данные.bin"));
    {
        TFileStream f(name, fmCreate);
        f.WriteBuffer(QByteArray("abcdef"));
        EXPECT_EQ(f.Size(), 6);
    }
    {
        TFileStream f(name, fmOpenReadWrite);
        EXPECT_EQ(f.Position(), 0);
        EXPECT_EQ(f.Seek(2, soBeginning), 2);
        EXPECT_EQ(f.ReadBytes(2), "cd");
        f.WriteBuffer("XY", 2);
        f.SetSize(7);
        EXPECT_EQ(f.Size(), 7);
    }
    TMemoryStream m;
    m.LoadFromFile(name);
    EXPECT_EQ(m.Bytes(), QByteArray("abcdXY\0", 7));
    char buf[10];
    TFileStream f(name, fmOpenRead);
    EXPECT_THROW(f.ReadBuffer(buf, 10), EReadError);

    const QString copy = dir.filePath("copy.bin");
    m.SaveToFile(copy);
    TMemoryStream back;
    back.LoadFromFile(copy);
    EXPECT_EQ(back.Bytes(), m.Bytes());
}

TEST(FileStream, AMissingFileRaisesWithItsName)
{
    QTemporaryDir dir;
    const QString name = dir.filePath("missing.txt");
    try {
        TFileStream f(name, fmOpenRead);
        FAIL() << "opened a missing file";
    } catch (const EFOpenError& e) {
        EXPECT_TRUE(e.Message().startsWith(QStringLiteral("Не удается открыть файл \"%1\". ").arg(name)))
            << e.Message().toStdString();
    }
    EXPECT_THROW(TFileStream(dir.path(), fmOpenRead), EFOpenError);   // a folder is not a file
    EXPECT_THROW(TFileStream(dir.filePath("no/such/dir/x"), fmCreate), EFCreateError);
    TMemoryStream m;
    EXPECT_THROW(m.LoadFromFile(name), EFOpenError);
}

TEST(FileStream, FileFailuresTellTheSystemsReasonInRussian)
{
    QTemporaryDir dir;
    const QString name = dir.filePath("no/such/dir/x");
    try {
        TFileStream f(name, fmCreate);
        FAIL() << "created a file in a missing folder";
    } catch (const EFCreateError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Не удается создать файл \"%1\". Нет такого файла или каталога").arg(name));
    }
    // A full disk: every write to this device fails for want of space.
    if (!QFile::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    TFileStream full("/dev/full", fmOpenWrite);
    try {
        full.WriteBuffer(QByteArray("report"));
        FAIL() << "wrote to a full disk";
    } catch (const EWriteError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Ошибка записи потока. На диске нет места"));
    }
}
