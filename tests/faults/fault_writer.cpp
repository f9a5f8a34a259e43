// Writes to the contacts file in the working folder through the data module,
// the way the program's add, modify and delete commands do, until killed:
// for contact r<RUN>c<i> an add, a modify, and for every third a delete.
// Before each write it prints "begin <op> <name>", after the write has
// returned "ack <op> <name>"; a line is flushed before the next write starts.
#include "platform/data/DataError.h"
#include "platform/data/Query.h"
#include "store/Unit_Dm.h"

#include <QCoreApplication>
#include <QDir>
#include <cstdio>

namespace {

void say(const char *what, const char *op, const QString &name)
{
    std::printf("%s %s %s\n", what, op, name.toUtf8().constData());
    std::fflush(stdout);
}

void select(txl::Query *q, const QString &name)
{
    q->close();
    q->clearSql();
    q->addSql(QStringLiteral("select * from data where 姓名=:p0"));
    q->setParam(QStringLiteral("p0"), name);
    q->open();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: fault_writer FOLDER RUN\n");
        return 2;
    }
    if (!QDir::setCurrent(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "fault_writer: no folder %s\n", argv[1]);
        return 2;
    }
    const QString run = QString::fromLocal8Bit(argv[2]);
    TDm dm;
    Dm = &dm;
    txl::Query *q = Dm->addquery;
    try {
        for (int i = 0;; ++i) {
            const QString name = QStringLiteral("r%1c%2").arg(run).arg(i);
            say("begin", "add", name);
            q->close();
            q->clearSql();
            q->addSql(QStringLiteral("insert into data  values(:p0,:p1,:p2,:p3,:p4,:p5,:p6)"));
            q->setParam(QStringLiteral("p0"), name);
            q->setParam(QStringLiteral("p1"), QStringLiteral("男"));
            q->setParam(QStringLiteral("p2"), QStringLiteral("10001"));
            q->setParam(QStringLiteral("p3"), QStringLiteral("add"));
            q->setParam(QStringLiteral("p4"), QStringLiteral("a@b.cn"));
            q->setParam(QStringLiteral("p5"), QStringLiteral("北京"));
            q->setParam(QStringLiteral("p6"), QStringLiteral("朋友"));
            q->execSql();
            say("ack", "add", name);

            select(q, name);
            say("begin", "mod", name);
            q->edit();
            q->setField(3, QStringLiteral("mod"));
            q->post();
            say("ack", "mod", name);

            if (i % 3 == 0) {
                select(q, name);
                say("begin", "del", name);
                q->deleteRecord();
                say("ack", "del", name);
            }
        }
    } catch (const txl::DataError &e) {
        std::fprintf(stderr, "fault_writer: %s\n", e.what());
        return 1;
    }
}
