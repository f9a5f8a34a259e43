// The database tool: makes the contacts file the program opens.
#include "platform/data/Connection.h"
#include "store/ContactFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTextStream>

#include <exception>

namespace {

const char kUsage[] = R"(Usage: tongxunlu-db create [--sample N] [DIR]
       tongxunlu-db --help | --version

Makes DIR/DataBase/data_txl.mdb (DIR defaults to the current folder): the
password-protected contacts file of tongxunlu, with its table "data" and,
with --sample N, N sample contacts (the same N gives the same contacts).
An existing file is never touched: the tool refuses and exits with status 1.

To read the file with the sqlcipher shell:
  sqlcipher DIR/DataBase/data_txl.mdb \
    "PRAGMA key='86420975310'; %1 select * from data;"
)";

int usage(QTextStream &out, int status)
{
    out << QString::fromUtf8(kUsage).arg(txl::Connection::cipherPragmas());
    return status;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty() || args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h")))
        return usage(out, args.isEmpty() ? 2 : 0);
    if (args == QStringList { QStringLiteral("--version") }) {
        out << "tongxunlu-db " TXL_VERSION "\n";
        return 0;
    }
    if (args.takeFirst() != QStringLiteral("create"))
        return usage(err, 2);

    int sample = 0;
    QString dir = QStringLiteral(".");
    bool dirGiven = false;
    while (!args.isEmpty()) {
        const QString arg = args.takeFirst();
        if (arg == QStringLiteral("--sample")) {
            bool ok = false;
            sample = args.isEmpty() ? -1 : args.takeFirst().toInt(&ok);
            if (!ok || sample < 0 || sample > 10000000) {
                err << "tongxunlu-db: --sample takes a whole number from 0 to 10000000\n";
                return 2;
            }
        } else if (!arg.startsWith(QLatin1Char('-')) && !dirGiven) {
            dir = arg;
            dirGiven = true;
        } else {
            return usage(err, 2);
        }
    }

    QElapsedTimer timer;
    timer.start();
    try {
        ContactFile::create(dir, sample);
    } catch (const std::exception &e) {
        err << "tongxunlu-db: " << QString::fromUtf8(e.what()) << ".\n";
        return 1;
    }
    out << "Made " << QDir::toNativeSeparators(QDir(dir).absoluteFilePath(ContactFile::relativePath())) << " with "
        << sample << " contacts in " << timer.elapsed() << " ms.\n";
    return 0;
}
