// Finding templates by typing: the rule (store/templatesearch.h) against a
// model written with Python's own Unicode data (standins/search_model.py),
// over random texts of every kind of letter, accent and space.
#include "store/templatesearch.h"
#include "support/searchtexts.h"
#include "support/testdata.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

class TestSearch : public QObject
{
    Q_OBJECT

private slots:
    void matchesAsTheModel()
    {
        // A fixed seed, so that a run is repeated exactly; another is given
        // by LETTERLOOM_SEED for a run by hand.
        const quint64 used = testdata::seed(3141592653u);
        QRandomGenerator random{quint32(used)};
        QList<store::SearchedTemplate> templates;
        QJsonArray stored;
        QStringList texts;
        for (int i = 0; i < 200; ++i) {
            store::SearchedTemplate t;
            for (QString *field : {&t.name, &t.subject, &t.to, &t.cc, &t.bcc})
                *field = testsupport::randomSearchText(random, int(random.bounded(8)), true);
            const QString body = testsupport::randomSearchText(random, int(random.bounded(40)), false);
            t.plain = random.bounded(4) != 0;
            t.body = [body] { return body; };
            texts << t.name << t.subject << t.to << body;
            templates << t;
            stored.append(QJsonObject{{"name", t.name}, {"subject", t.subject}, {"to", t.to}, {"cc", t.cc},
                                      {"bcc", t.bcc}, {"plain", t.plain}, {"body", body}});
        }
        QStringList searches;
        for (int i = 0; i < 400; ++i)
            searches << testsupport::randomSearch(random, texts);

        QProcess model;
        model.start(QStringLiteral("python3"), {QString::fromUtf8(qgetenv("LETTERLOOM_SOURCE_DIR"))
                                                + QStringLiteral("/tests/standins/search_model.py")});
        if (!model.waitForStarted())
            QSKIP("python3 is not there to run the model");
        model.write(QJsonDocument(QJsonObject{{"templates", stored}, {"searches", QJsonArray::fromStringList(searches)}}).toJson());
        model.closeWriteChannel();
        QVERIFY(model.waitForFinished(60000));
        QCOMPARE(model.exitCode(), 0);
        const QJsonArray expected = QJsonDocument::fromJson(model.readAllStandardOutput()).array();
        QCOMPARE(expected.size(), searches.size());

        int found = 0;
        for (qsizetype s = 0; s < searches.size(); ++s) {
            const QStringList words = store::SearchWords(searches.at(s));
            QList<store::SearchMatch> matches;
            for (const store::SearchedTemplate &t : std::as_const(templates))
                matches << store::MatchTemplate(words, t);
            QList<int> wanted;
            for (const QJsonValue &index : expected.at(s).toArray())
                wanted << index.toInt();
            found += int(wanted.size());
            QVERIFY2(store::OrderMatches(matches) == wanted,
                     qPrintable(QStringLiteral("seed %1, search \"%2\"").arg(used).arg(searches.at(s))));
        }
        // The searches find something, and not everything.
        QVERIFY(found > searches.size() && found < searches.size() * templates.size() / 2);
    }
};

QTEST_GUILESS_MAIN(TestSearch)
#include "tst_search.moc"
