// Runs a fuzz target's entry over corpus files, for the sanitizer build without libFuzzer:
//     fuzz_<target>_corpus [--pending] <file or folder>...
// Folders are walked recursively. A folder named "pending" holds inputs of faults not fixed on this
// branch yet; it is skipped unless --pending is given, and then only it is run.
#include "tests/fuzz/fuzz_support.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <cstdio>

namespace {

bool InPending(const QString& path)
{
    return path.split(QLatin1Char('/')).contains(QStringLiteral("pending"));
}

}  // namespace

int main(int argc, char** argv)
{
    LLVMFuzzerInitialize(&argc, &argv);
    bool pending = false;
    QStringList files;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (arg == QLatin1String("--pending")) {
            pending = true;
            continue;
        }
        if (QFileInfo(arg).isDir()) {
            QDirIterator it(arg, QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext())
                files << it.next();
        } else {
            files << arg;
        }
    }
    files.erase(std::remove_if(files.begin(), files.end(), [&](const QString& f) { return InPending(f) != pending; }),
                files.end());
    files.sort();
    if (files.isEmpty()) {
        std::fprintf(stderr, "no corpus files given\n");
        return 2;
    }
    for (const QString& name : files) {
        QFile f(name);
        if (!f.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "cannot read %s\n", qPrintable(name));
            return 2;
        }
        const QByteArray bytes = f.readAll();
        std::fprintf(stderr, "%s\n", qPrintable(name));  // names the input a sanitizer report belongs to
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size()));
    }
    std::fprintf(stderr, "%lld inputs ran\n", static_cast<long long>(files.size()));
    fuzz::Shutdown();
    return 0;
}
