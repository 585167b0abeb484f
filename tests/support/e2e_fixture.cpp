#include "tests/support/e2e_fixture.h"

#include <QDir>
#include <QDirIterator>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <stdexcept>

namespace e2e {

bool WaitFor(const std::function<bool()>& predicate, std::chrono::milliseconds deadline)
{
    if (predicate())
        return true;
    QEventLoop loop;
    bool held = false;
    // The predicate may depend on the bus thread, which posts no Qt events: look again often.
    QTimer check;
    check.setInterval(5);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (predicate()) {
            held = true;
            loop.quit();
        }
    });
    QTimer::singleShot(deadline, &loop, [&] { loop.quit(); });
    check.start();
    loop.exec();
    return held || predicate();
}

MessageBoxRecorder::MessageBoxRecorder()
{
    previous_ = SetMessageBoxHook([this](const MessageBoxRequest& r) { return Answer(r); });
}

MessageBoxRecorder::~MessageBoxRecorder()
{
    SetMessageBoxHook(previous_);
}

void MessageBoxRecorder::AnswerWith(MsgButton button)
{
    std::lock_guard lock(mutex_);
    answer_ = button;
}

void MessageBoxRecorder::QueueAnswer(MsgButton button)
{
    std::lock_guard lock(mutex_);
    queued_.push_back(button);
}

std::vector<RecordedBox> MessageBoxRecorder::Boxes() const
{
    std::lock_guard lock(mutex_);
    return boxes_;
}

size_t MessageBoxRecorder::Count() const
{
    std::lock_guard lock(mutex_);
    return boxes_.size();
}

std::optional<RecordedBox> MessageBoxRecorder::Last() const
{
    std::lock_guard lock(mutex_);
    if (boxes_.empty())
        return std::nullopt;
    return boxes_.back();
}

void MessageBoxRecorder::Clear()
{
    std::lock_guard lock(mutex_);
    boxes_.clear();
}

MsgButton MessageBoxRecorder::Answer(const MessageBoxRequest& r)
{
    std::lock_guard lock(mutex_);
    MsgButton answer = answer_;
    if (!queued_.empty()) {
        answer = queued_.front();
        queued_.pop_front();
    }
    if (answer == mbNone || !(r.buttons & answer))
        answer = r.defaultButton;
    if (answer == mbNone || !(r.buttons & answer)) {
        // The first offered button, as a box with no default has it.
        answer = mbOK;
        for (unsigned bit = 1; bit != 0 && bit <= r.buttons; bit <<= 1)
            if (r.buttons & bit) {
                answer = MsgButton(bit);
                break;
            }
    }
    RecordedBox box;
    static_cast<MessageBoxRequest&>(box) = r;
    box.answer = answer;
    boxes_.push_back(box);
    return answer;
}

namespace {

void CopyTree(const QString& from, const QString& to)
{
    QDir().mkpath(to);
    QDirIterator it(from, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString target = to + "/" + QDir(from).relativeFilePath(path);
        if (it.fileInfo().isDir())
            QDir().mkpath(target);
        else if (!QFile::copy(path, target))
            throw std::runtime_error("cannot copy " + path.toStdString());
    }
}

}  // namespace

Harness::Harness(int comPort) : bus_(std::make_unique<sim::Bus>())
{
    if (!dir_.isValid())
        throw std::runtime_error("no temporary folder");
    CopyTree(QStringLiteral(VEMOR_SOURCE_DATA_DIR), dir_.path());
    for (const char* sub : {"bases", "schemes", "docs"})
        QDir(dir_.path()).mkpath(sub);
    hadComportMap_ = qEnvironmentVariableIsSet("COMPORT_MAP");
    oldComportMap_ = qgetenv("COMPORT_MAP");
    qputenv("COMPORT_MAP", QStringLiteral("%1=%2").arg(comPort).arg(bus_->SlavePath()).toLocal8Bit());
    SetExeDirForTesting(Folder());
}

Harness::~Harness()
{
    SetExeDirForTesting(QString());
    if (hadComportMap_)
        qputenv("COMPORT_MAP", oldComportMap_);
    else
        qunsetenv("COMPORT_MAP");
}

QString Harness::Folder() const
{
    return dir_.path() + "/";
}

void EndToEndTest::SetUp()
{
    harness_ = std::make_unique<Harness>();
}

void EndToEndTest::TearDown()
{
    harness_.reset();
}

}  // namespace e2e
