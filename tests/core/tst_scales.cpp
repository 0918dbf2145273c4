#include "scales/mapping.h"
#include "scales/scales.h"

#include "tests/support/testmain.h"

#include <QtTest>

namespace {
std::vector<int> notesOf(const KorvaneSensorsState &s, int from, int to)
{
    std::vector<int> v;
    for (int i = from; i <= to; ++i)
        v.push_back(s.nodes[i].note);
    return v;
}
KorvaneSensorsState mapWith(int key, int octave, int scale)
{
    KorvaneSensorsState s = KorvaneSensorsState::fresh();
    s.key = key;
    s.octave = octave;
    s.scale = scale;
    return s;
}
} // namespace

class TestScales : public QObject
{
    Q_OBJECT
private slots:
    void table()
    {
        QCOMPARE(Scales::scaleNames().size(), 24);
        QCOMPARE(Scales::scaleNames().at(20), QStringLiteral("Ukranian Dorian"));
        QCOMPARE(QList<int>({Scales::getScale(23).count, Scales::getScale(4).count,
                             Scales::getScale(9).count, Scales::getScale(24).count,
                             Scales::getScale(-1).count}),
                 QList<int>({12, 5, 6, 0, 0}));
        QVERIFY(Scales::getScale(18).steps == Scales::getScale(14).steps);
        QVERIFY(!Scales::isMajorScale(5));
        QVERIFY(Scales::isMajorScale(3));
    }
    void sevenStepNotes()
    {
        KorvaneSensorsState s = mapWith(0, 4, 0);
        generateMapping(s, false);
        const std::vector<int> expected = {55, 57, 59, 60, 62, 64, 65, 67, 69, 71, 72, 74,
                                           76, 77, 79, 83, 81, 84, 86, 88, 89, 91, 93};
        QVERIFY(notesOf(s, 1, 23) == expected);
        QCOMPARE(s.nodes[0].note, 48); // node 0 is left alone
        QCOMPARE(s.scaleLength, 7);
        QCOMPARE(int(s.scaleSteps[6]), 11);

        KorvaneSensorsState phrygian = mapWith(0, 4, 14);
        KorvaneSensorsState dominant = mapWith(0, 4, 18);
        generateMapping(phrygian, false);
        generateMapping(dominant, false);
        QVERIFY(notesOf(phrygian, 0, 23) == notesOf(dominant, 0, 23));
    }
    void keyBelowAndAboveF()
    {
        // Node 4 sounds the root (degree 0, no octave offset).
        KorvaneSensorsState s6 = mapWith(6, 4, 0);
        generateMapping(s6, false);
        QCOMPARE(s6.nodes[4].note, 54);
        KorvaneSensorsState s5 = mapWith(5, 4, 0);
        generateMapping(s5, false);
        QCOMPARE(s5.nodes[4].note, 65);
    }
    void shortScalesKeepUpperNodes()
    {
        KorvaneSensorsState s = mapWith(0, 4, 4); // pentatonic major
        s.nodes[0].type = NodeNote;
        s.nodes[0].action = 3;
        for (int i = 18; i < 24; ++i)
            s.nodes[i].note = 100 + i;
        generateMapping(s, false);
        QCOMPARE(s.nodes[0].type, int(NodeAction));
        QCOMPARE(s.nodes[0].action, 0);
        for (int i = 18; i < 24; ++i)
            QCOMPARE(s.nodes[i].note, 100 + i);
        // steps 0 2 4 7 9 from 60
        QVERIFY(notesOf(s, 1, 17) == (std::vector<int>{52, 55, 57, 60, 62, 64, 67, 69, 72, 74, 76,
                                                       79, 81, 84, 86, 91, 88}));

        KorvaneSensorsState whole = mapWith(0, 4, 9);
        generateMapping(whole, false);
        QCOMPARE(QList<int>({whole.nodes[1].note, whole.nodes[16].note, whole.nodes[17].note}),
                 QList<int>({60 + 6 - 12, 60 + 2 + 24, 60 + 24}));

        KorvaneSensorsState chromatic = mapWith(0, 4, 23);
        generateMapping(chromatic, false);
        QCOMPARE(QList<int>({chromatic.nodes[1].note, chromatic.nodes[15].note,
                             chromatic.nodes[16].note, chromatic.nodes[17].note}),
                 QList<int>({57, 71, 73, 72}));
    }
    void unknownScaleChangesNothing()
    {
        KorvaneSensorsState s = mapWith(0, 4, 24);
        const auto before = notesOf(s, 0, 23);
        generateMapping(s, false);
        QCOMPARE(s.scaleLength, 0);
        QVERIFY(notesOf(s, 0, 23) == before);
    }
    void veskoLayout()
    {
        KorvaneSensorsState s = mapWith(0, 4, 0);
        generateMapping(s, true);
        // c = notes of nodes 0..11 after the 7-step rule: 48 55 57 59 60 62 64 65 67 69 71 72
        // Node 7 becomes an action and keeps its old note; node 16 is untouched.
        QCOMPARE(
            QList<int>({s.nodes[1].note, s.nodes[2].note, s.nodes[3].note, s.nodes[5].note,
                        s.nodes[7].type, s.nodes[7].action, s.nodes[7].note, s.nodes[15].action,
                        s.nodes[16].note}),
            QList<int>({60, 72, 70, 68, NodeAction, ActionOctaveUp, 65, ActionTransposeDown, 83}));

        KorvaneSensorsState twice = s;
        applyVeskoLayout(twice);
        QVERIFY(notesOf(twice, 0, 23) != notesOf(s, 0, 23));
        QCOMPARE(twice.nodes[1].note, s.nodes[4].note);
    }
    void noteNames()
    {
        QCOMPARE(noteName(61), QStringLiteral("D♭"));
        QCOMPARE(noteName(60), QStringLiteral("C"));
        QCOMPARE(noteName(70), QStringLiteral("B♭"));
        QCOMPARE(noteName(-1), QString());
        QCOMPARE(noteName(-12), QStringLiteral("C"));
    }
    void typedNoteNames_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("number");
        QTest::newRow("C4") << "C4" << 60;
        QTest::newRow("c4") << "c4" << 60;
        QTest::newRow("F#3") << "F#3" << 54;
        QTest::newRow("Bb2") << "Bb2" << 46;
        QTest::newRow("B#4") << "B#4" << 72;
        QTest::newRow("H3") << "H3" << 59;
        QTest::newRow("Cb4") << "Cb4" << -1;
        QTest::newRow("X4") << "X4" << -1;
        QTest::newRow("lone C") << "C" << -1;
        QTest::newRow("empty") << "" << -1;
        QTest::newRow("C45") << "C45" << 72;
        QTest::newRow("A-1x") << "A 4 trailing" << 69;
        QTest::newRow("C-1") << "C-1" << 0;
        QTest::newRow("B-1") << "B-1" << 11;
    }
    void typedNoteNames()
    {
        QFETCH(QString, text);
        QFETCH(int, number);
        QCOMPARE(noteNumber(text), number);
        // Every name the window writes (flats as "♭", octave -1 for the lowest notes) reads back.
        for (int note = 0; note < 128; ++note) {
            const QString written = noteName(note) + QString::number(note / 12 - 1);
            QCOMPARE(noteNumber(written), note);
        }
        QCOMPARE(noteNumber(QStringLiteral("F♯3")), 54);
    }
};

VARNO_TEST_CLASS(TestScales)
#include "tst_scales.moc"
