#pragma once

#include "fake_master.h"
#include "master_list.h"

#include <QSignalSpy>
#include <QTest>
#include <memory>

// A listing from a fake master on 127.0.0.1, to its end.
struct MasterListRun {
    std::unique_ptr<FakeMaster> fake;
    std::unique_ptr<MasterList> lister;
    std::unique_ptr<QSignalSpy> finished;
    int added = 0;
    bool contiguous = true; // every serversAdded began where the one before ended

    // The fake of fake_game_server's `switches`; %1 in `address` is its port. master.test is
    // 127.0.0.1 by name, every other name is unknown.
    bool run(const QString& switches, const QString& address, MasterList::Options o) {
        fake = std::make_unique<FakeMaster>(*parseFakeMaster(switches.split(u' ')));
        lister =
            std::make_unique<MasterList>(nullptr, [](const QString& name, QObject* ctx, auto done) {
                const bool known = name == QLatin1String("master.test");
                QMetaObject::invokeMethod(
                    ctx, [done, known] { done(known ? QHostAddress::LocalHost : QHostAddress()); },
                    Qt::QueuedConnection);
            });
        o.master = QString(address).replace(QLatin1String("%1"), QString::number(fake->port()));
        lister->setOptions(o);
        finished = std::make_unique<QSignalSpy>(lister.get(), &MasterList::finished);
        QObject::connect(lister.get(), &MasterList::serversAdded, lister.get(),
                         [this](int first, int n) {
                             contiguous = contiguous && first == added;
                             added += n;
                         });
        lister->start();
        return QTest::qWaitFor([this] { return finished->count() > 0; }, 20000) &&
               finished->count() == 1;
    }
    std::vector<FakeMasterAddress> listed() const {
        std::vector<FakeMasterAddress> out;
        for (const auto& a : lister->servers())
            out.emplace_back(a.ip, a.port);
        return out;
    }
    MasterList::Outcome outcome() const {
        return finished->at(0).at(0).value<MasterList::Outcome>();
    }
};
