#pragma once

#include "platform/data/Connection.h"
#include "platform/data/DataSource.h"
#include "platform/data/Query.h"

#include <QObject>

// The data module: the connection to the contacts file, the one shared
// contacts query every window works on, and the data source the main grid
// is bound to. Created before the main window and destroyed after it.
class TDm : public QObject {
    Q_OBJECT
public:
    explicit TDm(QObject *parent = nullptr);
    ~TDm() override;

    // The reload step: the contacts query shows every contact again.
    void reloadAll();
    // Narrows the contacts query to the contacts whose `column` contains
    // `text`; wildcards in `text` keep their meaning. Returns the count found.
    int searchContacts(const QString &column, const QString &text);

    txl::Connection *scon;
    txl::Query *addquery;
    txl::DataSource *addsource;
};

extern TDm *Dm;
