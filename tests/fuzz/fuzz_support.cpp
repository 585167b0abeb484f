#include "tests/fuzz/fuzz_support.h"

#include "platform/application.h"
#include "platform/exceptions.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace fuzz {

namespace {

QApplication* app = nullptr;

std::vector<std::function<void()>>& ShutdownSteps()
{
    static std::vector<std::function<void()>> steps;
    return steps;
}

}  // namespace

void AtShutdown(std::function<void()> f)
{
    ShutdownSteps().push_back(std::move(f));
}

void Shutdown()
{
    auto& steps = ShutdownSteps();
    while (!steps.empty()) {
        const std::function<void()> step = std::move(steps.back());
        steps.pop_back();
        step();
    }
    delete app;
    app = nullptr;
}

MsgButton DefaultAnswer(const MessageBoxRequest& r)
{
    if (r.defaultButton != mbNone)
        return r.defaultButton;
    for (unsigned b = 1; b <= mbAll; b <<= 1)
        if (r.buttons & b)
            return MsgButton(b);
    return mbOK;
}

void InitApplication()
{
    if (app)
        return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // No real serial port is probed or opened while fuzzing.
    qputenv("COMPORT_MAP", "");
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    app = new QApplication(argc, argv);  // kept for the whole run, freed by Shutdown
    SetMessageBoxHook(DefaultAnswer);
    SetExceptionHandler([](std::exception_ptr e) {
        try {
            std::rethrow_exception(e);
        } catch (const Exception&) {
            // the program's own errors: shown to the operator, a sound answer to a bad input
        } catch (...) {
            // anything else (a standard library error, an unknown object) is a fault of ours
            std::fprintf(stderr, "fuzz: unexpected exception: %s\n", qPrintable(ExceptionText(e)));
            std::abort();
        }
    });
}

QString ExeFolder()
{
    static QTemporaryDir folder;
    static QTemporaryDir* dir = nullptr;
    if (!dir) {
        dir = &folder;
        const QString from = QStringLiteral(VEMOR_SOURCE_DATA_DIR);
        QDirIterator it(from, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString file = it.next();
            const QString to = dir->filePath(QDir(from).relativeFilePath(file));
            QDir().mkpath(QFileInfo(to).path());
            QFile::copy(file, to);
        }
        for (const char* sub : {"bases", "schemes", "docs"})
            QDir(dir->path()).mkpath(QString::fromLatin1(sub));
        SetExeDirForTesting(dir->path() + QLatin1Char('/'));
    }
    return dir->path() + QLatin1Char('/');
}

std::uint8_t Input::Byte()
{
    return pos_ < size_ ? data_[pos_++] : 0;
}

QByteArray Input::Bytes(std::size_t n)
{
    n = std::min(n, size_ - std::min(pos_, size_));
    QByteArray out(reinterpret_cast<const char*>(data_ + pos_), qsizetype(n));
    pos_ += n;
    return out;
}

QByteArray Input::Rest()
{
    return Bytes(size_);
}

}  // namespace fuzz
