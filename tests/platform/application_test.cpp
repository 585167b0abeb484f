#include "platform/application.h"
#include "platform/exceptions.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>
#include <stdexcept>
#include <vector>

namespace {

// Records boxes instead of showing them and answers with a chosen button.
class BoxRecorder {
public:
    explicit BoxRecorder(MsgButton answer = mbOK)
    {
        previous_ = SetMessageBoxHook([this, answer](const MessageBoxRequest& r) {
            boxes.push_back(r);
            return answer;
        });
    }
    ~BoxRecorder() { SetMessageBoxHook(previous_); }
    std::vector<MessageBoxRequest> boxes;

private:
    MessageBoxHook previous_;
};

} // namespace

TEST(Application, MessageBoxGoesThroughTheHook)
{
    BoxRecorder rec(mbNo);
    const MsgButton pressed = MessageBox(QString::fromUtf8(" Дравик Ltd"), "Clear the log?", MsgIcon::Question,
                                         mbYesNo, mbNo);
    EXPECT_EQ(pressed, mbNo);
    ASSERT_EQ(rec.boxes.size(), 1u);
    EXPECT_EQ(rec.boxes[0].caption, QString::fromUtf8(" Дравик Ltd"));
    EXPECT_EQ(rec.boxes[0].text, "Clear the log?");
    EXPECT_EQ(rec.boxes[0].icon, MsgIcon::Question);
    EXPECT_EQ(rec.boxes[0].buttons, mbYesNo);
    EXPECT_EQ(rec.boxes[0].defaultButton, mbNo);
    // Without a default, the first offered button is the default.
    MessageBox("c", "t", MsgIcon::Information, mbYesNo);
    EXPECT_EQ(rec.boxes[1].defaultButton, mbYes);
}

TEST(Application, RealBoxReturnsThePressedButton)
{
    // Accept the box with its default button as soon as it shows.
    QTimer::singleShot(0, [] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
                box->defaultButton()->click();
            }
        }
    });
    EXPECT_EQ(MessageBox("caption", "text", MsgIcon::Warning, mbYesNoCancel, mbNo), mbNo);
}

TEST(Application, GuardedRoutesExceptionsToTheHandler)
{
    BoxRecorder rec;
    SetApplicationTitle("Vemor");
    EXPECT_FALSE(Guarded([] { throw Exception(QString::fromUtf8("Ошибка открытия порта !")); }));
    EXPECT_FALSE(Guarded([] { throw std::runtime_error("plain failure"); }));
    EXPECT_FALSE(Guarded([] { throw 42; }));
    EXPECT_TRUE(Guarded([] {}));
    ASSERT_EQ(rec.boxes.size(), 3u);
    EXPECT_EQ(rec.boxes[0].text, QString::fromUtf8("Ошибка открытия порта !"));   // ends in '!': no period
    EXPECT_EQ(rec.boxes[0].caption, "Vemor");
    EXPECT_EQ(rec.boxes[0].icon, MsgIcon::Error);
    EXPECT_EQ(rec.boxes[0].buttons, mbOK);
    EXPECT_EQ(rec.boxes[1].text, "plain failure.");
    EXPECT_EQ(rec.boxes[2].text, QStringLiteral("Неизвестная ошибка."));
    SetApplicationTitle(QString());
}

TEST(Application, AbortIsSilent)
{
    BoxRecorder rec;
    EXPECT_FALSE(Guarded([] { Abort(); }));
    EXPECT_TRUE(rec.boxes.empty());
}

TEST(Application, CustomHandlerReplacesTheBox)
{
    BoxRecorder rec;
    QString seen;
    ExceptionHandler previous = SetExceptionHandler([&](std::exception_ptr e) { seen = ExceptionText(e); });
    Guarded([] { throw EConvertError("'x' is not a valid integer value"); });
    SetExceptionHandler(previous);
    EXPECT_EQ(seen, "'x' is not a valid integer value");
    EXPECT_TRUE(rec.boxes.empty());
}

TEST(Application, AThrowingHandlerDoesNotEscape)
{
    ExceptionHandler previous = SetExceptionHandler([](std::exception_ptr) { throw std::logic_error("again"); });
    EXPECT_FALSE(Guarded([] { throw Exception("first"); }));
    SetExceptionHandler(previous);
}

TEST(Application, GuardedSlotsKeepExceptionsInsideTheEventLoop)
{
    BoxRecorder rec;
    QTimer timer;
    timer.setSingleShot(true);
    bool ran = false;
    QObject::connect(&timer, &QTimer::timeout, MakeGuarded([&] {
                         ran = true;
                         throw Exception("tick failed");
                     }));
    timer.start(0);
    const QDeadlineTimer deadline(5000);
    while (!ran && !deadline.hasExpired()) {
        ProcessMessages();
    }
    EXPECT_TRUE(ran);
    ASSERT_EQ(rec.boxes.size(), 1u);
    EXPECT_EQ(rec.boxes[0].text, "tick failed.");
}

TEST(Application, ExeDirCanBeOverridden)
{
    EXPECT_TRUE(ExeDir().endsWith('/'));
    SetExeDirForTesting("/tmp/somewhere");
    EXPECT_EQ(ExeDir(), "/tmp/somewhere/");
    SetExeDirForTesting(QString());
    EXPECT_NE(ExeDir(), "/tmp/somewhere/");
}
