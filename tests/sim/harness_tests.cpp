// The end-to-end harness: folder layout, port mapping, waiting on the event loop, boxes.
#include "tests/support/e2e_fixture.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

namespace {

class Harness : public e2e::EndToEndTest {};

}  // namespace

TEST_F(Harness, GivesAFreshExecutableFolderAndMapsCom1)
{
    const QString dir = ExeDir();
    EXPECT_EQ(dir, harness().Folder());
    EXPECT_TRUE(dir.endsWith('/'));
    EXPECT_NE(dir, QStringLiteral(VEMOR_SOURCE_DATA_DIR) + "/");
    for (const char* sub : {"bases", "schemes", "docs"})
        EXPECT_TRUE(QFileInfo(dir + sub).isDir()) << sub;
    // Whatever the source data holds is there too.
    const QDir source(QStringLiteral(VEMOR_SOURCE_DATA_DIR "/schemes"));
    for (const QString& name : source.entryList(QDir::Files))
        EXPECT_TRUE(QFileInfo::exists(dir + "schemes/" + name)) << name.toStdString();
    EXPECT_EQ(qgetenv("COMPORT_MAP"), ("1=" + bus().SlavePath()).toLocal8Bit());
}

TEST(HarnessLifetime, RestoresTheEnvironment)
{
    qputenv("COMPORT_MAP", "2=/dev/null");
    const QString before = ExeDir();
    QString folder;
    {
        e2e::Harness h(3);
        folder = h.Folder();
        EXPECT_EQ(qgetenv("COMPORT_MAP"), ("3=" + h.Bus().SlavePath()).toLocal8Bit());
        EXPECT_TRUE(QFileInfo(folder).isDir());
    }
    EXPECT_EQ(qgetenv("COMPORT_MAP"), "2=/dev/null");
    EXPECT_EQ(ExeDir(), before);
    EXPECT_FALSE(QFileInfo::exists(folder));
    qunsetenv("COMPORT_MAP");
}

TEST_F(Harness, WaitForSeesTheBusThreadAndQtEvents)
{
    bus().AddDevice(sim::DeviceState::Factory(300, 2));
    const int fd = ::open(bus().SlavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    const QByteArray req = sim::MakeFrame(1, 300, sim::cmdIdentify, {});
    ASSERT_EQ(::write(fd, req.constData(), size_t(req.size())), req.size());
    EXPECT_TRUE(WaitFor([&] { return bus().ReplyCount() == 1; }));
    ::close(fd);

    bool fired = false;
    QTimer::singleShot(0, [&] { fired = true; });
    EXPECT_TRUE(WaitFor([&] { return fired; }));
}

TEST_F(Harness, WaitForGivesUpAtTheDeadline)
{
    EXPECT_FALSE(WaitFor([] { return false; }, std::chrono::milliseconds(30)));
}

TEST_F(Harness, RecorderAnswersWithTheDefaultQueuedOrChosenButton)
{
    EXPECT_EQ(MessageBox(" Дравик Ltd", "Очистить?", MsgIcon::Question, mbYesNo, mbNo), mbNo);
    EXPECT_EQ(MessageBox("c", "t", MsgIcon::Information), mbOK);
    EXPECT_EQ(MessageBox("c", "t", MsgIcon::Question, mbYesNoCancel), mbYes);  // no default: the first
    boxes.QueueAnswer(mbYes);
    EXPECT_EQ(MessageBox("c", "q", MsgIcon::Question, mbYesNo, mbNo), mbYes);
    boxes.AnswerWith(mbCancel);
    EXPECT_EQ(MessageBox("c", "q", MsgIcon::Question, mbYesNo, mbNo), mbNo);  // not offered: falls back
    EXPECT_EQ(MessageBox("c", "q", MsgIcon::Question, mbOKCancel, mbOK), mbCancel);

    ASSERT_EQ(boxes.Count(), 6u);
    const auto first = boxes.Boxes()[0];
    EXPECT_EQ(first.caption, " Дравик Ltd");
    EXPECT_EQ(first.text, "Очистить?");
    EXPECT_EQ(first.icon, MsgIcon::Question);
    EXPECT_EQ(first.answer, mbNo);
    EXPECT_EQ(boxes.Last()->answer, mbCancel);
    boxes.Clear();
    EXPECT_FALSE(boxes.Last());
}
