#include "scales/mapping.h"
#include "scales/scales.h"
#include "tests/support/testmain.h"

#include <QtTest>

namespace {
KorvaneSensorsState generated(int key, int scale, bool vesko = false)
{
    KorvaneSensorsState s = KorvaneSensorsState::fresh();
    s.key = key;
    s.scale = scale;
    generateMapping(s, vesko);
    return s;
}
QList<int> notes(const KorvaneSensorsState &s, int from, int to)
{
    QList<int> v;
    for (int i = from; i <= to; ++i)
        v.push_back(s.nodes[i].note);
    return v;
}
} // namespace

class TestScales : public QObject
{
    Q_OBJECT
private slots:
    void table()
    {
        QCOMPARE(Scales::scaleNames().at(20), QStringLiteral("Ukranian Dorian"));
        QCOMPARE(Scales::getScale(-1).count, 0);
        QVERIFY(!Scales::isMajorScale(5));
        QVERIFY(Scales::isMajorScale(3));
    }
    void generatedNotes()
    {
        // Seven steps from C4; node 0 is left alone.
        const KorvaneSensorsState major = generated(0, 0);
        QCOMPARE(notes(major, 0, 23), QList<int>({48, 55, 57, 59, 60, 62, 64, 65, 67, 69, 71, 72,
                                                  74, 76, 77, 79, 83, 81, 84, 86, 88, 89, 91, 93}));
        QCOMPARE(QList<int>({major.scaleLength, major.scaleSteps[6]}), QList<int>({7, 11}));
        // Node 4 sounds the root: keys above F start below it.
        QCOMPARE(generated(6, 0).nodes[4].note, 54);
        QCOMPARE(generated(5, 0).nodes[4].note, 65);

        // Five steps (0 2 4 7 9): node 0 becomes an action, nodes above 17 keep their notes.
        KorvaneSensorsState s = KorvaneSensorsState::fresh();
        s.scale = 4;
        s.nodes[0].type = NodeNote;
        s.nodes[0].action = 3;
        for (int i = 18; i < 24; ++i)
            s.nodes[i].note = 100 + i;
        generateMapping(s, false);
        QCOMPARE(QList<int>({s.nodes[0].type, s.nodes[0].action}), QList<int>({NodeAction, 0}));
        QCOMPARE(notes(s, 1, 23), QList<int>({52, 55, 57, 60, 62, 64,  67,  69,  72,  74,  76, 79,
                                              81, 84, 86, 91, 88, 118, 119, 120, 121, 122, 123}));
        const KorvaneSensorsState whole = generated(0, 9), chromatic = generated(0, 23);
        QCOMPARE(notes(whole, 1, 1) + notes(whole, 16, 17), QList<int>({54, 86, 84}));
        QCOMPARE(notes(chromatic, 1, 1) + notes(chromatic, 15, 17), QList<int>({57, 71, 73, 72}));

        // An unknown scale changes no note.
        const KorvaneSensorsState unknown = generated(0, 24);
        QCOMPARE(unknown.scaleLength, 0);
        QCOMPARE(notes(unknown, 0, 23), notes(KorvaneSensorsState::fresh(), 0, 23));
    }
    void veskoLayout()
    {
        const KorvaneSensorsState s = generated(0, 0, true);
        // c = notes of nodes 0..11 after the 7-step rule: 48 55 57 59 60 62 64 65 67 69 71 72
        // Node 7 becomes an action and keeps its old note; node 16 is untouched.
        QCOMPARE(
            QList<int>({s.nodes[1].note, s.nodes[2].note, s.nodes[3].note, s.nodes[5].note,
                        s.nodes[7].type, s.nodes[7].action, s.nodes[7].note, s.nodes[15].action,
                        s.nodes[16].note}),
            QList<int>({60, 72, 70, 68, NodeAction, ActionOctaveUp, 65, ActionTransposeDown, 83}));
        KorvaneSensorsState twice = s;
        applyVeskoLayout(twice);
        QVERIFY(notes(twice, 0, 23) != notes(s, 0, 23));
        QCOMPARE(twice.nodes[1].note, s.nodes[4].note);
    }
    void noteNames()
    {
        const QStringList names = {"D♭", "C", "B♭", "", "C"};
        const QList<int> numbers = {61, 60, 70, -1, -12};
        for (int i = 0; i < numbers.size(); ++i)
            QCOMPARE(noteName(numbers[i]), names[i]);
        const struct
        {
            const char *text;
            int number;
        } typed[] = {{"c4", 60}, {"F#3", 54}, {"Bb2", 46},          {"B#4", 72},
                     {"H3", 59}, {"Cb4", -1}, {"X4", -1},           {"C", -1},
                     {"", -1},   {"C45", 72}, {"A 4 trailing", 69}, {"F♯3", 54}};
        for (const auto &t : typed)
            QVERIFY2(noteNumber(QString::fromUtf8(t.text)) == t.number, t.text);
        // Every name the window writes (flats as "♭", octave -1 for the lowest notes) reads back.
        for (int note = 0; note < 128; ++note)
            QCOMPARE(noteNumber(noteName(note) + QString::number(note / 12 - 1)), note);
    }
};

VARNO_TEST_CLASS(TestScales)
#include "tst_scales.moc"
