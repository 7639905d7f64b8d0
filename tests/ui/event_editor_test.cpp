// The event editor and the speaker card, driven as the operator does. With VELTRO_SCREENSHOT_DIR set
// both windows are also saved there as PNG files; with VELTRO_KEEP_DIR set, their printed pages and
// an event file the editor wrote are kept there.
#include "events/event_session.h"
#include "events/ui/form_event_registration.h"
#include "events/ui/form_race_card_preview.h"
#include "events/ui/form_speaker_card.h"
#include "fake_operator.h"
#include "poppler.h"
#include "scoped_env.h"
#include "support/error_report.h"
#include "support/files.h"
#include "support/settings.h"
#include "support/trace.h"
#include "support/ui/qt_operator.h"
#include "temp_dir.h"

#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace veltro {
namespace {

// Clicks "No" on the real question box as soon as it is on screen.
void answer_no_when_asked(int tries = 1000) {
    QTimer::singleShot(0, [tries] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            box->button(QMessageBox::No)->click();
        else if (tries > 0)
            answer_no_when_asked(tries - 1);
    });
}

class EventEditor : public ::testing::Test {
protected:
    EventEditor() {
        set_settings_path(dir.file("Veltro_HDMI.ini"));
        editor.wait = [this](std::int32_t ms) { waits.push_back(ms); };
        editor.import_pause = [](std::int32_t) {};
        editor.progress = [this](const std::string& caption, int percent) {
            if (!caption.empty())
                captions.push_back(caption);
            percents.push_back(percent);
        };
        editor.show();
        editor.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&editor));
        // Activation paints the badges.
        for (int b = 1; b <= 6; ++b)
            EXPECT_FALSE(editor.findChild<QLabel*>(QString("Picture_box_%1").arg(b))->pixmap().isNull());
    }
    ~EventEditor() override { set_settings_path({}); }

    QLineEdit* field(const char* name) const { return editor.findChild<QLineEdit*>(name); }
    QLineEdit* dog(int box) const { return field(("Text_dog_name_" + std::to_string(box)).c_str()); }
    QSpinBox* selector() const { return editor.findChild<QSpinBox*>("UpDown_heat"); }
    QString frame_caption() const { return editor.findChild<QGroupBox*>("Frame_boxes")->title(); }
    QLabel* file_label() const { return editor.findChild<QLabel*>("Label_event_file_name"); }
    void menu(const char* item) { editor.findChild<QAction*>(item)->trigger(); }

    void type(QLineEdit* f, const char* text) {
        f->setFocus(Qt::MouseFocusReason);
        f->selectAll();
        for (const QChar c : QString::fromUtf8(text)) {
            if (c.unicode() < 0x80)
                QTest::keyClick(f, c.toLatin1());
            else
                typed_character(f, c);
        }
    }
    // Leaving a field the way a click elsewhere does.
    void leave(QLineEdit*) { selector()->setFocus(Qt::MouseFocusReason); }
    void type_and_leave(QLineEdit* f, const char* text) {
        type(f, text);
        leave(f);
    }
    // A key of a keyboard layout beyond ASCII, which QTest's key helpers do not type.
    static void typed_character(QLineEdit* f, const QString& text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text);
        QApplication::sendEvent(f, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, text);
        QApplication::sendEvent(f, &release);
    }
    void step(Qt::Key key) {
        selector()->setFocus(Qt::MouseFocusReason);
        QTest::keyClick(selector(), key);
    }

    void create_event(const char* name, const char* day) {
        type(field("Text_event_name"), name);
        type(field("Text_day"), day);
        menu("item_create_event_file");
        ASSERT_TRUE(session.file_open());
    }

    static std::unique_ptr<EventDocument> disk(const std::string& path) {
        auto doc = std::make_unique<EventDocument>();
        doc->load(read_whole_file(path).value());
        return doc;
    }

    // The event file as a fresh session reads it from disk.
    std::string on_disk(std::int16_t heat, std::int16_t box) const {
        EventDocument doc;
        doc.load(read_whole_file(session.current_event_file()).value());
        return doc.dog_name(heat, box);
    }
    std::unique_ptr<EventDocument> disk() const {
        auto doc = std::make_unique<EventDocument>();
        doc->load(read_whole_file(session.current_event_file()).value());
        return doc;
    }

    testing::TempDir dir;
    testing::ScopedEnv data{"VELTRO_DATA_DIR", dir.path().string()};
    testing::ScopedEnv home{"HOME", dir.path().string()};
    testing::FakeOperator op;
    EventSession session{dir.file("events")};
    Form_event_registration editor{session};
    std::vector<std::int32_t> waits;
    std::vector<std::string> captions;
    std::vector<int> percents;
};

TEST_F(EventEditor, OperatorEntersTwoHeatsImportsListsAndFindsEveryNameAfterReopening) {
    create_event("Spring Cup", "2026-05-06");
    const std::string path = dir.file("events/Spring Cup 2026_05_06.xml");
    EXPECT_EQ(session.current_event_file(), path);
    EXPECT_EQ(file_label()->text().toStdString(), path);
    EXPECT_EQ(frame_caption(), "Heat 1");

    // Heat 1: each field writes and saves at its own moment.
    type_and_leave(field("Text_heatName"), "Puppies");
    EXPECT_EQ(disk()->heat_name(1), "Puppies");
    type_and_leave(field("Text_heatLength"), "510 m");
    EXPECT_EQ(disk()->heat_length(1), "510 m");
    type(dog(1), "Rex");
    EXPECT_EQ(session.Reg_Dog_Name(1, 1), "Rex"); // written at once...
    EXPECT_EQ(on_disk(1, 1), "");                 // ...saved when left
    leave(dog(1));
    EXPECT_EQ(on_disk(1, 1), "Rex");
    type_and_leave(dog(2), "Max");
    type_and_leave(field("Text_heat_start_time"), "13:35");
    EXPECT_EQ(session.document().heat_time(1), "13:35");
    EXPECT_EQ(disk()->heat_time(1), "");
    type(field("Text_event_name"), "Spring Cup 2026");
    EXPECT_EQ(session.document().event_name(), "Spring Cup 2026");

    // Up does not save; every heat shows its own length.
    step(Qt::Key_Up);
    EXPECT_EQ(session.current_heat(), 2);
    EXPECT_EQ(frame_caption(), "Heat 2");
    EXPECT_EQ(disk()->heat_time(1), "");
    EXPECT_EQ(field("Text_heatName")->text(), "");
    EXPECT_EQ(field("Text_heat_start_time")->text(), "");
    EXPECT_EQ(field("Text_heatLength")->text(), "");
    EXPECT_EQ(dog(1)->text(), "");
    type_and_leave(dog(1), "Bolt");
    type_and_leave(field("Text_heat_start_time"), "14:00");
    EXPECT_EQ(disk()->heat_time(2), "");

    // Down saves first.
    step(Qt::Key_Down);
    EXPECT_EQ(disk()->heat_time(2), "14:00");
    EXPECT_EQ(disk()->event_name(), "Spring Cup 2026");
    EXPECT_EQ(frame_caption(), "Heat 1");
    EXPECT_EQ(field("Text_heatName")->text(), "Puppies");
    EXPECT_EQ(field("Text_heat_start_time")->text(), "13:35");
    EXPECT_EQ(dog(1)->text(), "Rex");
    EXPECT_EQ(dog(2)->text(), "Max");

    // A "Start" list, from the home folder at first; the folder is remembered.
    const std::string lists = dir.file("lists");
    std::filesystem::create_directories(lists);
    {
        std::ofstream(lists + "/heats.txt") << "Start3\nDog A\nDog B\n\nDog D\n";
        std::ofstream(lists + "/card.csv") << "Heat,Box,Dog\n4,1,Card One\n4,6,\"Six, the last\"\n";
    }
    std::vector<std::string> folders;
    std::string chosen = lists + "/heats.txt";
    editor.choose_import_file = [&](const std::string& folder) {
        folders.push_back(folder);
        return chosen;
    };
    menu("item_import_dogs");
    EXPECT_EQ(op.last_message(), "3 Dogs imported!");
    EXPECT_EQ(selector()->value(), 3);
    EXPECT_EQ(frame_caption(), "Heat 3");
    EXPECT_EQ(dog(4)->text(), "Dog D");
    EXPECT_EQ(on_disk(3, 1), "") << "the import does not save";

    // A spreadsheet card: previewed, then imported.
    chosen = lists + "/card.csv";
    std::size_t previewed = 0;
    editor.confirm_card = [&](FormRaceCardPreview& preview) {
        previewed = preview.card().entries.size();
        return true;
    };
    menu("item_import_dogs");
    EXPECT_EQ(folders, (std::vector<std::string>{dir.path().string() + "/", lists + "/"}));
    EXPECT_EQ(previewed, 2u);
    EXPECT_EQ(op.last_message(), "2 Dogs imported!");
    EXPECT_EQ(selector()->value(), 4);
    EXPECT_EQ(dog(6)->text(), "Six, the last");

    // Another window taking over saves what was typed, even in a field not yet left.
    type(field("Text_heat_start_time"), "15:00");
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    EXPECT_EQ(disk()->heat_time(4), "15:00");
    EXPECT_EQ(on_disk(4, 1), "Card One");
    other.close();

    // Closing the window saves, with its trace lines around the save.
    set_trace_file(dir.file("trace.txt"));
    editor.close();
    trace_flush();
    set_trace_file("");
    const std::string trace = read_whole_file(dir.file("trace.txt")).value_or("");
    const auto begin = trace.find("*Form_event_registration, Form_QueryUnload, begin");
    const auto saved = trace.find("*Form_event_registration XML_to_File", begin);
    const auto end = trace.find("*Form_event_registration, Form_QueryUnload, end", saved);
    EXPECT_NE(end, std::string::npos) << trace;

    // Close the event file, open it again, and step through it.
    editor.show();
    menu("item_close_event_file");
    EXPECT_EQ(file_label()->text(), "No event file");
    EXPECT_EQ(field("Text_event_name")->text(), "");
    EXPECT_EQ(dog(1)->text(), "");
    editor.choose_event_file = [&] { return path; };
    menu("item_open_event_file");
    EXPECT_EQ(field("Text_event_name")->text(), "Spring Cup 2026");
    EXPECT_EQ(field("Text_day")->text(), "2026-05-06");
    const struct {
        int heat;
        const char* name;
        const char* time;
        std::array<const char*, 6> dogs;
    } expected[] = {
        {4, "", "15:00", {"Card One", "", "", "", "", "Six, the last"}},
        {3, "", "", {"Dog A", "Dog B", "", "Dog D", "", ""}},
        {2, "", "14:00", {"Bolt", "", "", "", "", ""}},
        {1, "Puppies", "13:35", {"Rex", "Max", "", "", "", ""}},
    };
    for (const auto& e : expected) {
        selector()->setValue(e.heat);
        EXPECT_EQ(frame_caption(), QString("Heat %1").arg(e.heat));
        EXPECT_EQ(field("Text_heatName")->text(), e.name) << e.heat;
        EXPECT_EQ(field("Text_heat_start_time")->text(), e.time) << e.heat;
        EXPECT_EQ(field("Text_heatLength")->text(), e.heat == 1 ? "510 m" : "") << e.heat;
        for (int b = 1; b <= 6; ++b)
            EXPECT_EQ(dog(b)->text(), e.dogs[static_cast<std::size_t>(b - 1)]) << e.heat << " " << b;
    }
    EXPECT_EQ(Read_Setting(keys::importdir), lists + "/");
    if (const char* keep = std::getenv("VELTRO_KEEP_DIR"))
        std::filesystem::copy_file(path, std::string(keep) + "/editor_event.xml",
                                   std::filesystem::copy_options::overwrite_existing);
}

TEST_F(EventEditor, WithoutAFileHeatKeysAndTheSelectorOnlyBeep) {
    type(field("Text_event_name"), "Cup");
    type(field("Text_day"), "Sunday");
    EXPECT_EQ(op.beeps, 0);
    EXPECT_EQ(field("Text_event_name")->text(), "Cup");
    for (QLineEdit* f :
         {field("Text_heatName"), field("Text_heat_start_time"), field("Text_heatLength"), dog(3)}) {
        const int before = op.beeps;
        QTest::keyClicks(f, "ab");
        QTest::keyClick(f, Qt::Key_Backspace);
        EXPECT_EQ(f->text(), "");
        EXPECT_EQ(op.beeps, before + 3) << f->objectName().toStdString();
    }
    step(Qt::Key_Up);
    EXPECT_EQ(selector()->value(), 1);
    EXPECT_EQ(op.beeps, 13);

    menu("item_import_dogs");
    EXPECT_EQ(op.last_message(), "No valid Event File open!\r\nImport not possible");

    // After closing a file the selector keeps its heat and only beeps, both ways.
    menu("item_create_event_file");
    type_and_leave(dog(1), "Rex");
    step(Qt::Key_Up);
    step(Qt::Key_Up);
    menu("item_close_event_file");
    const int before = op.beeps;
    step(Qt::Key_Down);
    step(Qt::Key_Up);
    EXPECT_EQ(op.beeps, before + 2);
    EXPECT_EQ(selector()->value(), 3);
    EXPECT_EQ(frame_caption(), "Heat 3");
}

TEST_F(EventEditor, FileThatFailedToLoadTakesNoTyping) {
    struct Reports : ErrorReportView {
        Reports() { previous = install_error_report_view(this); }
        ~Reports() override { install_error_report_view(previous); }
        void show_form() override {}
        void show_report(const ReportLines& lines) override { locations.push_back(lines[2]); }
        std::vector<std::string> locations;
        ErrorReportView* previous = nullptr;
    } reports;
    const std::string broken = dir.file("broken.xml");
    ASSERT_EQ(write_file_atomically(broken, "<Veltro_event_file><event_name>Cup"), 0);
    editor.choose_event_file = [&] { return broken; };
    menu("item_open_event_file");
    ASSERT_EQ(reports.locations.size(), 1u);
    EXPECT_NE(reports.locations[0].find("item_open_event_file_Click of Form Form_event_registration"),
              std::string::npos)
        << reports.locations[0];

    QTest::keyClicks(dog(1), "Rex");
    type_and_leave(field("Text_event_name"), "Cup");
    step(Qt::Key_Up);
    EXPECT_EQ(dog(1)->text(), "");
    EXPECT_EQ(op.beeps, 4);
    EXPECT_EQ(reports.locations.size(), 1u);
    editor.close();
    EXPECT_EQ(read_whole_file(broken).value(), "<Veltro_event_file><event_name>Cup");
}

TEST_F(EventEditor, ReadOnlyFileIsRefusedAndStaysByteForByte) {
    create_event("Cup", "1");
    const std::string path = session.current_event_file();
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    const std::string before = read_whole_file(path).value();
    op.messages.clear();

    type_and_leave(dog(1), "Rex");
    type_and_leave(field("Text_heatName"), "Final");
    editor.close();
    ASSERT_EQ(op.messages.size(), 3u);
    for (const auto& m : op.messages)
        EXPECT_EQ(m.text, "Event file is Read-Only!\r\n" + path);
    EXPECT_EQ(read_whole_file(path).value(), before);
    ::chmod(path.c_str(), 0644);
}

TEST_F(EventEditor, NamesTheFileCannotHoldAreRefusedAtEntry) {
    create_event("Cup", "1");
    type(dog(1), "Rex");
    typed_character(dog(1), QString::fromUtf8("\xC5\x81"));
    EXPECT_EQ(dog(1)->text(), "Rex");
    EXPECT_NE(op.last_message().find("cannot hold"), std::string::npos) << op.last_message();
    typed_character(dog(1), " ");
    typed_character(dog(1), QString::fromUtf8("\xC3\xB6"));
    leave(dog(1));
    EXPECT_EQ(on_disk(1, 1), "Rex \xC3\xB6");
}

// The real box deactivates the editor while it asks; neither that nor a later save may write the
// open event over the file the operator refused to overwrite.
TEST_F(EventEditor, NoToOverwriteThroughARealBoxLeavesBothFilesAsTheyWere) {
    create_event("Cup B", "2");
    type_and_leave(dog(1), "Bee");
    const std::string b_path = session.current_event_file();
    create_event("Cup A", "1");
    type_and_leave(dog(1), "Rex");
    const std::string a_path = session.current_event_file();
    const std::string b_before = read_whole_file(b_path).value();

    QtOperator real;
    Operator* fake = install_operator(&real);
    type(field("Text_event_name"), "Cup B");
    type(field("Text_day"), "2");
    answer_no_when_asked();
    menu("item_create_event_file");
    install_operator(fake);
    EXPECT_EQ(session.current_event_file(), a_path);
    EXPECT_EQ(field("Text_event_name")->text(), "Cup A");
    type_and_leave(dog(2), "Max");
    editor.close();
    EXPECT_EQ(read_whole_file(b_path).value(), b_before);
    EXPECT_EQ(disk(a_path)->event_name(), "Cup A");
    EXPECT_EQ(disk(a_path)->dog_name(1, 2), "Max");
}

// The ordinary way to start the next meeting: type its name and day over the open event's, and create.
TEST_F(EventEditor, CreatingTheNextEventLeavesTheOpenOneUnderItsOwnNameAndDay) {
    create_event("Cup A", "2026-06-12");
    type_and_leave(dog(1), "Rex");
    const std::string a_path = session.current_event_file();
    type(field("Text_event_name"), "Cup B");
    type(field("Text_day"), "2026-06-13");
    // A look at another window in between saves the open event.
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    other.close();
    menu("item_create_event_file");
    EXPECT_EQ(session.current_event_file(), dir.file("events/Cup B 2026_06_13.xml"));
    EXPECT_EQ(disk(a_path)->event_name(), "Cup A");
    EXPECT_EQ(disk(a_path)->event_day(), "2026-06-12");
    EXPECT_EQ(disk(a_path)->dog_name(1, 1), "Rex");
    EXPECT_EQ(disk()->event_name(), "Cup B");
    EXPECT_EQ(disk()->dog_name(1, 1), "");
}

// A full evening's card: the preview is a table that fits the screen, its Import button on screen.
TEST_F(EventEditor, AHundredHeatCardIsPreviewedInATableThatFitsTheScreen) {
    create_event("Cup", "1");
    session.document().dog_name(1, 2, "Old Max");
    session.document().dog_name(1, 3, "Scratched");
    std::string text = "Riverside Greyhound Club\nRace;Trap;Greyhound;Trainer\n";
    for (int heat = 1; heat <= 100; ++heat)
        for (int box = 1; box <= 6; ++box)
            text += std::to_string(heat) + ";" + std::to_string(box) + ";" +
                    (heat == 1 && box == 3 ? std::string()
                                           : "Dog " + std::to_string(heat) + "-" + std::to_string(box)) +
                    ";J Smith\n";
    text += "101;1;Too far;\n";
    const std::string card = dir.file("card.csv");
    ASSERT_EQ(write_file_atomically(card, text), 0);
    editor.choose_import_file = [&](const std::string&) { return card; };
    bool shown = false;
    editor.confirm_card = [&](FormRaceCardPreview& preview) {
        preview.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&preview));
        const QRect screen = preview.screen()->availableGeometry();
        EXPECT_TRUE(screen.contains(preview.frameGeometry())) << preview.frameGeometry().height();
        QPushButton* ok = preview.findChild<QDialogButtonBox*>("Buttons")->button(QDialogButtonBox::Ok);
        EXPECT_TRUE(screen.contains(QRect(ok->mapToGlobal(QPoint(0, 0)), ok->size())));
        const auto* dogs = preview.findChild<QTableWidget*>("Table_dogs");
        EXPECT_EQ(dogs->rowCount(), 600);
        EXPECT_EQ(dogs->item(599, 2)->text(), "Dog 100-6");
        EXPECT_EQ(dogs->item(599, 3)->text(), "new");
        const auto* rejected = preview.findChild<QTableWidget*>("Table_rejected");
        EXPECT_EQ(rejected->rowCount(), 1);
        EXPECT_EQ(rejected->item(0, 0)->text(), "603");
        EXPECT_EQ(dogs->item(1, 3)->text(), "changed (was Old Max)");
        EXPECT_EQ(dogs->item(2, 3)->text(), "cleared (was Scratched)");
        if (const char* shots = std::getenv("VELTRO_SCREENSHOT_DIR"))
            preview.grab().save(QString(shots) + "/race_card_preview.png");
        shown = true;
        return true;
    };
    menu("item_import_dogs");
    EXPECT_TRUE(shown);
    EXPECT_EQ(op.last_message(), "600 Dogs imported!");
    EXPECT_EQ(session.Reg_Dog_Name(57, 3), "Dog 57-3");
    EXPECT_EQ(session.Reg_Dog_Name(1, 3), "");
}

TEST_F(EventEditor, SpeakerCardKeepsTheFieldsOfItsMomentAndPrints) {
    // 59 characters: wider than the page at the card's natural size.
    const std::string event = "Riverside Greyhound Club Spring Cup Sunday Meeting Finals X";
    ASSERT_EQ(event.size(), 59u);
    create_event(event.c_str(), "2026-05-06");
    step(Qt::Key_Up);
    type_and_leave(field("Text_heatName"), "Final A");
    type_and_leave(field("Text_heat_start_time"), "13:35");
    type_and_leave(field("Text_heatLength"), "510 m");
    const char* names[] = {"Chase my tail dude", "Rex", "Fr\xC3\xB6ken Bo", "", "Max", "Bolt"};
    for (int b = 1; b <= 6; ++b)
        type_and_leave(dog(b), names[b - 1]);

    menu("item_make_speaker_card");
    Form_Veltro_SpeakerCard* card = editor.speaker_card();
    ASSERT_NE(card, nullptr);
    EXPECT_TRUE(card->isVisible());
    EXPECT_EQ(card->windowTitle(), "Veltro HDMI SpeakerCard");
    const SpeakerCardValues made = card->shown();
    EXPECT_EQ(made.event_name, event);
    EXPECT_EQ(made.heat, 2);
    EXPECT_EQ(made.heat_name, "Final A");
    EXPECT_EQ(made.start_time, "13:35");
    EXPECT_EQ(made.length, "510 m");
    for (std::size_t i = 0; i < 6; ++i)
        EXPECT_EQ(made.dog_names[i], names[i]);
    for (int b = 1; b <= 6; ++b) {
        const auto* badge = card->findChild<QLabel*>(QString("Picture_box_%1").arg(b));
        EXPECT_FALSE(badge->pixmap().isNull()) << b;
    }

    type_and_leave(dog(1), "Someone else");
    type_and_leave(field("Text_heatName"), "Final B");
    step(Qt::Key_Up);
    EXPECT_EQ(card->shown().dog_names[0], "Chase my tail dude");
    EXPECT_EQ(card->shown().heat_name, "Final A");
    EXPECT_EQ(card->shown().heat, 2);

    if (const char* shots = std::getenv("VELTRO_SCREENSHOT_DIR")) {
        step(Qt::Key_Down);
        editor.grab().save(QString(shots) + "/event_editor.png");
        card->grab().save(QString(shots) + "/speaker_card.png");
    }

    // No printer here: each print goes to a PDF file, and the operator is told where.
    card->findChild<QAction*>("item_print")->trigger();
    ASSERT_EQ(captions.size(), 1u);
    EXPECT_EQ(captions[0].rfind("Printing spkr card on\r\n", 0), 0u);
    const std::string card_pdf = captions[0].substr(std::string("Printing spkr card on\r\n").size());
    EXPECT_EQ(op.last_message(),
              "No printer available, the speaker card is printed to the file: " + card_pdf);
    EXPECT_GT(std::filesystem::file_size(card_pdf), 1000u);
    if (testing::poppler_present()) {
        const std::string printed = testing::run("pdftotext -raw '" + card_pdf + "' -");
        for (const std::string& text :
             {event, std::string("Final A"), std::string("13:35"), std::string("510 m"),
              std::string("Fr\xC3\xB6ken Bo"), std::string("Bolt")})
            EXPECT_NE(printed.find(text), std::string::npos) << text << " not in:\n" << printed;
        EXPECT_NE(printed.find("Chase my tail dude"), std::string::npos) << printed;
    }
    EXPECT_EQ(waits, (std::vector<std::int32_t>{600, 1000}));
    EXPECT_EQ(percents, (std::vector<int>{0, 10, 100, -1}));

    captions.clear();
    menu("item_print_form");
    ASSERT_EQ(captions.size(), 1u);
    EXPECT_EQ(captions[0].rfind("Printing form, on\r\n", 0), 0u);
    const std::string form_pdf = captions[0].substr(std::string("Printing form, on\r\n").size());
    EXPECT_GT(std::filesystem::file_size(form_pdf), 1000u);
    EXPECT_NE(form_pdf, card_pdf);
    // To look at the pages themselves.
    if (const char* keep = std::getenv("VELTRO_KEEP_DIR")) {
        std::filesystem::copy_file(card_pdf, std::string(keep) + "/speaker_card.pdf",
                                   std::filesystem::copy_options::overwrite_existing);
        std::filesystem::copy_file(form_pdf, std::string(keep) + "/event_editor.pdf",
                                   std::filesystem::copy_options::overwrite_existing);
    }
}

} // namespace
} // namespace veltro
