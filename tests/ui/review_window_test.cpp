// The review of a recording in the main window's widgets, the time assignment and the results window.
#include "app/demo_heat.h"
#include "events/ui/form_velt_results.h"
#include "poppler.h"
#include "recording/recording_fixture.h"
#include "review/review.h"
#include "review/ui/picture_box.h"
#include "review/ui/review_controller.h"
#include "review/ui/review_overlay.h"
#include "scoped_env.h"
#include "support/files.h"
#include "support/settings.h"
#include "support/ui/user_folders.h"
#include "timing/ui/box_tile.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>

namespace veltro {
namespace {

using testing::CapturedFrames;

constexpr std::int32_t kWidth = 200;
constexpr std::int32_t kHeight = 160;

// A finished heat: frames 40 ms apart from 20000 on the PC counter, started at 8000; picture time of
// frame f = 12000 + 40 (f - 1) + 2 (+ 20 for the second field) - 200.
void record_heat(const std::string& path, std::int16_t fps, std::int32_t frames) {
    cls_VideoFile_handler rec;
    rec.File_name(path);
    rec.RGB_interlaced(fps <= 30);
    rec.Cropped_X(kWidth);
    rec.Cropped_Y(kHeight);
    rec.Initiate_PX3_File();
    rec.Measured_fps(fps);
    rec.Velt_event("Spring Cup");
    rec.Velt_Heat_ID("5");
    rec.Velt_Heat_Name("Puppy stakes");
    rec.Velt_start_PC_mill("8000");
    rec.Velt_Goal_Finish("100,16,100,144");
    const char* dogs[] = {"Fast Lady", "Slow Joe", "Red Comet", "Blue Moon", "Sandy", "Tiger"};
    for (std::int16_t box = 1; box <= 6; ++box)
        rec.Velt_Dog_name(box, dogs[box - 1]);
    rec.Write_XML_header();
    rec.Close_File();
    Append_Test_Frames(rec, CapturedFrames(kWidth, kHeight, frames, 20000));
}

// True when some pixel of row `y` near column `x` is the picture blended towards `colour` (the
// anti-aliased line drawn over it) by at least a third.
bool line_drawn_in(const QImage& base, const QImage& shown, int x, int y, QColor colour) {
    for (int at = x - 2; at <= x + 2; ++at) {
        const QColor b = base.pixelColor(at, y), s = shown.pixelColor(at, y);
        const int db[3] = {colour.red() - b.red(), colour.green() - b.green(), colour.blue() - b.blue()};
        const int ds[3] = {s.red() - b.red(), s.green() - b.green(), s.blue() - b.blue()};
        int widest = 0;
        for (int c = 1; c < 3; ++c)
            widest = std::abs(db[c]) > std::abs(db[widest]) ? c : widest;
        if (std::abs(db[widest]) < 40)
            continue;
        const double a = double(ds[widest]) / db[widest];
        bool same = a > 0.33;
        for (int c = 0; c < 3; ++c)
            same = same && std::abs(ds[c] - a * db[c]) <= 12;
        if (same)
            return true;
    }
    return false;
}

std::string file_bytes(const std::string& path) {
    return read_whole_file(path).value_or("");
}

class ReviewWindow : public ::testing::Test {
protected:
    ReviewWindow() : data_env("VELTRO_DATA_DIR", dir.path().string()) {
        set_settings_path(dir.file("Veltro_HDMI.ini"));
        auto* layout = new QHBoxLayout(&window);
        slider = new QSlider(Qt::Horizontal, &window);
        picture = new PictureBox(&window);
        layout->addWidget(picture);
        layout->addWidget(slider);
        results = new Form_Velt_Results(&window);
        controller = std::make_unique<ReviewController>(rec, timing, review, slider, results);
        QObject::connect(controller.get(), &ReviewController::picture_shown,
                         [this] { picture->show_picture(rec.picture()); });
        window.show();
    }
    ~ReviewWindow() override {
        rec.Close_File();
        set_settings_path({});
    }

    std::string heat(std::int16_t fps = 25, std::int32_t frames = 12, const std::string& name = "heat.px3") {
        const std::string path = dir.file(name);
        record_heat(path, fps, frames);
        return path;
    }

    QLabel* results_label(const QString& name) { return results->findChild<QLabel*>(name); }

    testing::TempDir dir;
    testing::ScopedEnv data_env;
    testing::FakeOperator op;
    cls_VideoFile_handler rec;
    HeatTiming timing{system_clock()};
    Review review{rec, timing, system_clock()};
    QWidget window;
    QSlider* slider = nullptr;
    PictureBox* picture = nullptr;

    // The picture on show with the review's overlay, as the main window draws it.
    QImage shown_image() {
        QImage image = to_qimage(rec.picture()).convertToFormat(QImage::Format_RGB32);
        QPainter painter(&image);
        paint_review_overlay(painter, overlay_of(review, rec, false, false), image.size());
        return image;
    }
    Form_Velt_Results* results = nullptr;
    std::unique_ptr<ReviewController> controller;
};

TEST_F(ReviewWindow, DemoHeatsOpenFieldByFieldAt25AndFrameByFrameAt50) {
    for (const std::size_t format : {std::size_t{0}, std::size_t{1}}) {
        DemoHeatOptions options;
        options.path = dir.file("demo" + std::to_string(format) + ".px3");
        options.format = format;
        options.fast = true;
        const DemoHeatResult demo = record_demo_heat(options);
        ASSERT_EQ(controller->open(options.path), Review::OpenResult::Opened);
        EXPECT_EQ(review.field_mode(), format == 0);
        EXPECT_EQ(slider->maximum(), format == 0 ? 2 * demo.frames : demo.frames);
        EXPECT_EQ(shown_image().size(), QSize(400, 880));

        // Each picture is 20 ms after the one before: a field at 25, a frame at 50 per second.
        slider->setFocus();
        const std::int32_t first = *review.frame_time();
        QTest::keyClick(slider, Qt::Key_Right);
        EXPECT_EQ(review.play_position(), 2);
        EXPECT_NEAR(*review.frame_time() - first, 20, 2) << format;
        QTest::keyClick(slider, Qt::Key_Left);
        EXPECT_EQ(review.play_position(), 1);

        review.Goto_Time(2000);
        EXPECT_GE(*review.frame_time(), 2000);
        QTest::keyClick(slider, Qt::Key_Left);
        EXPECT_LT(*review.frame_time(), 2000);
        // A heat of 3 s never reaches 12 s: Goto_Goal stops on the last picture of its steps of 4.
        review.Goto_Goal();
        EXPECT_GT(review.play_position(), slider->maximum() - 4);
        EXPECT_EQ((review.play_position() - 1) % 4, 0);
    }
}

TEST_F(ReviewWindow, AssignedTimesReachTheResultsWindowAndTheClipboard) {
    const std::string path = heat();
    ASSERT_EQ(controller->open(path), Review::OpenResult::Opened);
    auto click_box = [&](std::int16_t box) {
        controller->box_press(box);
        EXPECT_EQ(timing.current_box, box);
        EXPECT_TRUE(controller->box_click(box));
        controller->box_release();
        EXPECT_EQ(timing.current_box, 0);
    };
    slider->setValue(7); // 11922 ms
    timing.plus_hundredth = true;
    click_box(3);
    EXPECT_FALSE(timing.plus_hundredth);
    slider->setValue(9); // 11962 ms
    click_box(1);
    timing.dead_heat = true;
    click_box(5);
    timing.no_time = true;
    timing.no_time_caption = "DSQ";
    click_box(2);

    // What reaches the file is pinned by the review's core test of the same clicks; here the windows.
    EXPECT_EQ(results_label("Label_Heat_ID")->text(), "5");
    EXPECT_EQ(results_label("Label_event_name")->text(), "Spring Cup");
    const ResultRow first = results->row(0);
    EXPECT_EQ(first.rank, "1");
    EXPECT_EQ(first.dog_name, "Red Comet");
    EXPECT_EQ(first.time, "11,93");
    EXPECT_EQ(results->row(2).rank, "2"); // the dead heat repeats rank 2
    EXPECT_TRUE(results->row(2).dead_heat_marker);
    EXPECT_TRUE(results_label("Shape_dead_circle_2")->isVisible());
    EXPECT_EQ(results->row(3).time, "DSQ");
    EXPECT_EQ(results->row(3).rank, "---");

    results->Export_to_Clipboard();
    const std::string expected = "Heat5\r\n1\tRed Comet\t11,93\r\n2\tFast Lady\t11,96\r\n2\tSandy\t11,96\r\n"
                                 "---\tSlow Joe\tDSQ\t---,---\r\n---\tBlue Moon\t---,---\t---,---\r\n"
                                 "---\tTiger\t---,---\t---,---\r\n";
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), expected);
    ASSERT_FALSE(op.messages.empty());
    EXPECT_EQ(op.messages.back().title, "Veltro results export");

    // A rank click shows the picture of that box's time.
    slider->setValue(1);
    QSignalSpy focus(results, &Form_Velt_Results::focus_to_slider);
    QTest::mouseClick(results_label("Label_rank_0"), Qt::LeftButton);
    EXPECT_EQ(slider->value(), 7);
    EXPECT_EQ(focus.count(), 1);
    QTest::mouseClick(results_label("Picture_box_5"), Qt::LeftButton); // Tiger: no time
    EXPECT_EQ(op.beeps, 1);

    // "Clear all results", confirmed.
    op.answers.push_back(true);
    results->findChild<QAction*>("item_clear_results")->trigger();
    cls_VideoFile_handler cleared;
    cleared.Open_File(path);
    EXPECT_EQ(cleared.Velt_Heat_time(3, false), 0);
    EXPECT_EQ(results->row(0).time, "---,---");
}

// The window and a script change the same heat: each keeps the other's change, and the window shows
// the script's time with its own.
TEST_F(ReviewWindow, TheWindowAndAScriptChangingTheHeatKeepBothChanges) {
    const std::string path = heat();
    ASSERT_EQ(controller->open(path), Review::OpenResult::Opened);
    const auto script = [&](const std::string& box, const std::string& ms) {
        return std::system(
            (std::string(PX3TOOL_PATH) + " set-time '" + path + "' " + box + " " + ms + " >/dev/null 2>&1")
                .c_str());
    };
    ASSERT_EQ(script("2", "12340"), 0);
    slider->setValue(7); // 11922 ms
    controller->box_press(3);
    EXPECT_TRUE(controller->box_click(3));
    controller->box_release();
    EXPECT_EQ(results->row(0).dog_name, "Red Comet");
    EXPECT_EQ(results->row(0).time, "11,92");
    EXPECT_EQ(results->row(1).dog_name, "Slow Joe");
    EXPECT_EQ(results->row(1).time, "12,34");
    ASSERT_EQ(script("4", "12500"), 0);

    cls_VideoFile_handler stored;
    stored.Open_File(path);
    EXPECT_EQ(stored.Velt_Heat_time(2, false), 12340);
    EXPECT_EQ(stored.Velt_Heat_time(3, false), 11922);
    EXPECT_EQ(stored.Velt_Heat_time(4, false), 12500);
    EXPECT_TRUE(op.messages.empty()) << op.last_message();
}

TEST_F(ReviewWindow, ExportResultsWritesWhatTheWindowShowsAsCsvOrJson) {
    ASSERT_EQ(controller->open(heat()), Review::OpenResult::Opened);
    slider->setValue(7);
    controller->box_click(3);
    timing.dead_heat = true;
    slider->setValue(7);
    controller->box_click(1);
    timing.no_time = true;
    timing.no_time_caption = "DNF";
    controller->box_click(2);

    std::string suggested;
    std::string answer = dir.file("out/heat5");
    results->choose_export_file = [&](const std::string& s) {
        suggested = s;
        return answer;
    };
    // A folder that does not exist: said, and nothing written.
    results->findChild<QAction*>("item_export_results")->trigger();
    EXPECT_EQ(suggested, dir.file("heat.csv"));
    EXPECT_NE(op.messages.back().text.find("could not be written"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.file("out")));

    answer = dir.file("heat5.json");
    results->findChild<QAction*>("item_export_results")->trigger();
    // Read back by Qt's JSON parser: the rows as the window shows them.
    const QJsonObject doc = QJsonDocument::fromJson(QByteArray::fromStdString(file_bytes(answer))).object();
    EXPECT_EQ(doc["heat"].toString(), "5");
    EXPECT_EQ(doc["recording"].toString(), "heat.px3");
    const QJsonArray rows = doc["results"].toArray();
    ASSERT_EQ(rows.size(), 6);
    for (int i = 0; i < 6; ++i) {
        const ResultRow shown = results->row(i);
        const QJsonObject row = rows[i].toObject();
        EXPECT_EQ(row["dog"].toString().toStdString(), shown.dog_name) << i;
        EXPECT_EQ(row["finish"].toString().toStdString(), shown.time) << i;
        EXPECT_EQ(row["rank"].isNull() ? "---" : std::to_string(row["rank"].toInt()), shown.rank) << i;
        EXPECT_EQ(row["dead_heat"].toBool(), shown.dead_heat_marker) << i;
        EXPECT_EQ(row["distance"].toString(), results->distance(i)) << i;
    }
    EXPECT_EQ(rows[2]["no_time"].toString(), "DNF");

    answer = dir.file("heat5.txt"); // neither .csv nor .json: CSV, named so
    results->findChild<QAction*>("item_export_results")->trigger();
    EXPECT_EQ(file_bytes(dir.file("heat5.txt.csv")).substr(0, 10), "recording,");
    EXPECT_EQ(op.messages.back().text, "Results written to " + dir.file("heat5.txt.csv"));
    answer.clear(); // cancelled
    const std::size_t said = op.messages.size();
    results->findChild<QAction*>("item_export_results")->trigger();
    EXPECT_EQ(op.messages.size(), said);
}

TEST_F(ReviewWindow, AHeatNeverStartedShowsPicturesButTakesNoTimes) {
    const std::string path = dir.file("armed.px3");
    cls_VideoFile_handler armed;
    Arm_Test_Recording(armed, path, kWidth, kHeight); // initiated, but no start signal came
    Append_Test_Frames(armed, CapturedFrames(kWidth, kHeight, 4));
    ASSERT_EQ(controller->open(path), Review::OpenResult::Opened);
    EXPECT_EQ(controller->frame_time_text(), "");
    const std::string before = file_bytes(path);
    EXPECT_FALSE(controller->box_click(1));
    controller->box_press(2);
    controller->assign(HeatTiming::Assign::SetTime);
    EXPECT_EQ(op.beeps, 2);
    EXPECT_EQ(file_bytes(path), before);
}

TEST_F(ReviewWindow, RenamingADogByRightClickRewritesTheHeader) {
    const std::string path = heat();
    ASSERT_EQ(controller->open(path), Review::OpenResult::Opened);
    // No times yet: row 0 is box 1.
    op.inputs.push_back(std::nullopt); // cancelled
    QTest::mouseClick(results_label("Label_name_0"), Qt::RightButton);
    EXPECT_EQ(rec.Velt_Dog_name(1), "Fast Lady");
    op.inputs = {"Speedy Lady", "Anna"};
    QTest::mouseClick(results_label("Label_name_0"), Qt::RightButton);
    ASSERT_EQ(op.questions.size(), 3u);
    EXPECT_EQ(op.questions[1], "Change dog name");
    EXPECT_EQ(op.questions[2], "Operator's name (written with every change of a result)");
    cls_VideoFile_handler other;
    other.Open_File(path);
    EXPECT_EQ(other.Velt_Dog_name(1), "Speedy Lady");
    EXPECT_EQ(results->row(0).dog_name, "Speedy Lady");

    op.inputs.push_back("Autumn Cup");
    QTest::mouseClick(results_label("Label_event_name"), Qt::RightButton);
    other.Open_File(path);
    EXPECT_EQ(other.Velt_event(), "Autumn Cup");
}

TEST_F(ReviewWindow, TheGoalLineIsDrawnInTheColourOfTheCameraOnShow) {
    ASSERT_EQ(controller->open(heat()), Review::OpenResult::Opened);
    const QImage base = to_qimage(rec.picture()).convertToFormat(QImage::Format_RGB32);
    // Goal mode: the goal line (100,16)-(100,144) in light green.
    EXPECT_TRUE(line_drawn_in(base, shown_image(), 100, 140, QColor(128, 255, 128)));
    EXPECT_FALSE(line_drawn_in(base, shown_image(), 100, 140, QColor(255, 255, 0)));
    QSignalSpy camera(controller.get(), &ReviewController::camera_changed);
    controller->split_goal_click();
    EXPECT_EQ(camera.count(), 1);
    EXPECT_TRUE(timing.split_mode);
    const Goal_line split = review.goal_line(kSplitCamera); // none stored: the middle of the picture
    EXPECT_TRUE(line_drawn_in(base, shown_image(), split.x1, 90, QColor(255, 255, 0)));
}

TEST(BoxTile, ColoursBandsAndBlankTiles) {
    const QImage one = box_tile_pixmap(QSize(40, 40), 1).toImage();
    EXPECT_EQ(one.pixel(39, 39), QColor(181, 0, 0).rgb());
    const QImage six = box_tile_pixmap(QSize(40, 40), 6).toImage();
    const QColor shadow = QApplication::palette().color(QPalette::Dark);
    EXPECT_EQ(six.pixel(39, 14), shadow.rgb()); // 1/4 .. 1/2
    EXPECT_EQ(six.pixel(39, 32), shadow.rgb()); // 3/4 .. full
    EXPECT_EQ(six.pixel(39, 24), QColor(Qt::white).rgb());
    const QImage seven = box_tile_pixmap(QSize(40, 40), 7).toImage();
    EXPECT_EQ(seven.pixel(20, 20), QApplication::palette().color(QPalette::Button).rgb());
    // The number is drawn: a box 4 tile holds white pixels on black.
    const QImage four = box_tile_pixmap(QSize(40, 40), 4).toImage();
    int white = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x)
            white += four.pixel(x, y) == QColor(Qt::white).rgb();
    EXPECT_GT(white, 20);
}

TEST(ResultsWindowAlone, ClearsStoresItsPlaceAndPrintsToAFile) {
    testing::TempDir dir;
    testing::ScopedEnv data_env("VELTRO_DATA_DIR", dir.path().string());
    set_settings_path(dir.file("Veltro_HDMI.ini"));
    Write_Setting(keys::print_folder, dir.file("prints")); // chosen, made at the first print
    testing::FakeOperator op;
    Store_Form_Pos("Form_Velt_Results", FormPos{-400, 30, 0, 0}); // far off-screen: restored at 0
    {
        Form_Velt_Results window;
        EXPECT_EQ(window.windowTitle(), "Veltro HDMI Results");
        EXPECT_EQ(window.pos().x(), 0);
        EXPECT_EQ(window.row(3).time, "00,00");
        EXPECT_EQ(window.row(3).split, ""); // no split given: blank, not a time
        window.show();
        window.move(120, 90);
        window.print();
        EXPECT_TRUE(window.findChild<QLabel*>("Label_printed")->text().isEmpty());
        window.close();
    }
    EXPECT_EQ(Read_Setting("Form_Velt_Results", keys::windowpos, ""), "120,90,0,0");
    std::vector<std::filesystem::path> pdfs;
    for (const auto& entry : std::filesystem::directory_iterator(dir.file("prints")))
        if (entry.path().extension() == ".pdf")
            pdfs.push_back(entry.path());
    ASSERT_EQ(pdfs.size(), 1u);
    // The results are printed as text, with the page's number at its foot.
    if (testing::poppler_present()) {
        EXPECT_NE(testing::run("pdftotext '" + pdfs[0].string() + "' -").find("Page 1 of 1"),
                  std::string::npos);
    }
    set_settings_path({});
}

// Distances in lengths beside the times, and the boxes the pictures cannot tell apart. With
// VELTRO_SCREENSHOT_DIR set the window is saved there as results_distances.png.
TEST_F(ReviewWindow, TheResultsShowDistancesAndWarnOfFinishesTooCloseForThePictures) {
    ASSERT_EQ(controller->open(heat()), Review::OpenResult::Opened);
    auto assign = [&](std::int16_t box, int position, bool plus_hundredth = false, bool dead_heat = false) {
        slider->setValue(position); // 11802 ms + 20 ms a field
        timing.plus_hundredth = plus_hundredth;
        timing.dead_heat = dead_heat;
        ASSERT_TRUE(controller->box_click(box));
    };
    assign(1, 7);               // 11922
    assign(3, 7);               // the same picture
    assign(5, 10, true);        // 11992
    assign(2, 11);              // 12002: 10 ms behind box 5, on the next picture
    assign(4, 16);              // 12102
    assign(6, 16, false, true); // the same picture, marked as a dead heat

    const std::vector<std::string> dist{"", "SH", "1", "SH", "1 1/4", "DH"};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(results->distance(i).toStdString(), dist[static_cast<std::size_t>(i)]) << i;
    EXPECT_EQ(results_label("Label_header_Dist")->text(), "Dist");
    EXPECT_EQ(results->close_finish_text().toStdString(),
              "Boxes 1 and 3 were given the same picture: check for a dead heat\n"
              "Boxes 2 and 5 are less than one picture (20 ms) apart: check for a dead heat");
    EXPECT_TRUE(results_label("Label_close_finish")->isVisible());
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(results->time_warned(i), i < 4) << i;
    EXPECT_EQ(results_label("Label_time_0")->toolTip(),
              "first picture at or after the line: the nose crossed within the 20 ms before");

    if (const char* shots = std::getenv("VELTRO_SCREENSHOT_DIR")) {
        results->raise();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(results));
        results->grab().save(QString(shots) + "/results_distances.png");
    }

    // The clipboard keeps its form: no distances.
    results->Export_to_Clipboard();
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(),
              "Heat5\r\n1\tFast Lady\t11,92\r\n2\tRed Comet\t11,92\r\n3\tSandy\t11,99\r\n"
              "4\tSlow Joe\t12,00\r\n5\tBlue Moon\t12,10\r\n5\tTiger\t12,10\r\n");

    // The setting is read when the results are shown: at 0.1 s a length, 70 ms is 3/4.
    Write_Setting(keys::seconds_per_length, "0.1");
    controller->Handle_results();
    EXPECT_EQ(results->distance(2), "3/4");

    // Cleared results leave neither distances nor warnings.
    op.answers.push_back(true);
    results->findChild<QAction*>("item_clear_results")->trigger();
    EXPECT_EQ(results->distance(1), "");
    EXPECT_FALSE(results_label("Label_close_finish")->isVisible());
    EXPECT_FALSE(results->time_warned(0));
    EXPECT_EQ(results_label("Label_time_0")->toolTip(), "");
}

} // namespace
} // namespace veltro
