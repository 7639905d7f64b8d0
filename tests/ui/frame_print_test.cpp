// Printing frames and goal photo series from the main window: the PDF written when no printer is
// installed is turned back into text and page images and checked.
#include "app/demo_heat.h"
#include "app/ui/form_veltro.h"
#include "capture/backends/demo/demo_camera.h"
#include "capture/backends/demo/demo_race_scene.h"
#include "capture/hdmi_crop.h"
#include "demo_heat_window.h"
#include "events/ui/form_velt_results.h"
#include "fake_operator.h"
#include "poppler.h"
#include "recording/video_file_handler.h"
#include "review/review.h"
#include "review/ui/picture_box.h"
#include "review_parts.h"
#include "scoped_env.h"
#include "support/digest.h"
#include "support/settings.h"
#include "temp_dir.h"
#include "timing/result_ranking.h"
#include "timing/ui/box_tile.h"
#include "window_parts.h"

#include <QAction>
#include <QImage>
#include <QLabel>
#include <QPrinterInfo>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>

namespace veltro {
namespace {

const std::string kPrintedToFile = "printed to the file: ";

using testing::poppler_present;
using testing::run;

bool white(QRgb p) {
    return qRed(p) > 235 && qGreen(p) > 235 && qBlue(p) > 235;
}

// The pictures on a page image: runs of non-white pixels across the row with the longest such run
// (text has short runs), each as tall as its column stays mostly non-white.
std::vector<QRect> picture_cells(const QImage& page) {
    int densest = 0, most = -1;
    for (int y = 0; y < page.height(); ++y) {
        int run = 0;
        for (int x = 0; x < page.width(); ++x) {
            run = white(page.pixel(x, y)) ? 0 : run + 1;
            if (run > most) {
                most = run;
                densest = y;
            }
        }
    }
    std::vector<QRect> cells;
    for (int x = 0; x < page.width();) {
        if (white(page.pixel(x, densest))) {
            ++x;
            continue;
        }
        int end = x;
        while (end < page.width() && !white(page.pixel(end, densest)))
            ++end;
        if (end - x >= 30) {
            auto dense = [&](int y) {
                int count = 0;
                for (int i = x; i < end; ++i)
                    count += white(page.pixel(i, y)) ? 0 : 1;
                return count * 2 > end - x;
            };
            int top = densest, bottom = densest;
            while (top > 0 && dense(top - 1))
                --top;
            while (bottom + 1 < page.height() && dense(bottom + 1))
                ++bottom;
            cells.emplace_back(QPoint(x, top), QPoint(end - 1, bottom));
        }
        x = end;
    }
    return cells;
}

double difference(const QImage& a, const QImage& b) {
    const QImage small = b.scaled(a.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = small.pixel(x, y);
            sum +=
                std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (a.width() * a.height());
}

// Pixels of `printed` that differ from `recorded` (same size): all must be the line's, one per row
// at most. Returns how many rows the line crosses.
int line_rows(const QImage& printed, const QImage& recorded, QRgb colour) {
    EXPECT_EQ(printed.size(), recorded.size());
    int rows = 0;
    for (int y = 0; y < std::min(printed.height(), recorded.height()); ++y) {
        int changed = 0;
        for (int x = 0; x < std::min(printed.width(), recorded.width()); ++x) {
            if (printed.pixel(x, y) == recorded.pixel(x, y))
                continue;
            ++changed;
            EXPECT_EQ(printed.pixel(x, y) & 0xFFFFFF, colour & 0xFFFFFF) << x << "," << y;
        }
        EXPECT_LE(changed, 1) << "row " << y;
        rows += changed;
    }
    return rows;
}

bool near(QRgb p, std::uint32_t bgr) {
    const int r = static_cast<int>(bgr & 0xFF), g = static_cast<int>(bgr >> 8 & 0xFF),
              b = static_cast<int>(bgr >> 16 & 0xFF);
    return std::abs(qRed(p) - r) < 48 && std::abs(qGreen(p) - g) < 48 && std::abs(qBlue(p) - b) < 48;
}

class FramePrint : public testing::DemoHeatWindow {
protected:
    FramePrint() : DemoHeatWindow("Test Event_1.px3", "0") {}

    void SetUp() override {
        if (!QPrinterInfo::availablePrinters().isEmpty())
            GTEST_SKIP() << "a printer is installed: these tests print to PDF files only";
        if (!poppler_present())
            GTEST_SKIP() << "pdftoppm / pdftotext not installed";
    }

    std::vector<std::filesystem::path> pdfs() const {
        std::vector<std::filesystem::path> found;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(dir.file("Prints"), ec))
            if (entry.path().extension() == ".pdf")
                found.push_back(entry.path());
        return found;
    }
    std::string printed_pdf() const {
        const std::string said = op.last_message();
        const auto at = said.find(kPrintedToFile);
        return at == std::string::npos ? std::string() : said.substr(at + kPrintedToFile.size());
    }
    // Under VELTRO_SCREENSHOT_DIR the first page is kept as `name`.png.
    void keep_page(const std::string& pdf, const std::string& name) {
        if (const char* shots = std::getenv("VELTRO_SCREENSHOT_DIR"))
            run("pdftoppm -r 60 -png -singlefile '" + pdf + "' '" + shots + "/" + name + "'");
    }
    std::vector<QImage> pages(const std::string& pdf) {
        const std::string prefix = dir.file("page");
        run("pdftoppm -r 50 -png '" + pdf + "' '" + prefix + "'");
        std::vector<QImage> images;
        for (int n = 1; std::filesystem::exists(prefix + "-" + std::to_string(n) + ".png"); ++n)
            images.emplace_back(QString::fromStdString(prefix + "-" + std::to_string(n) + ".png"));
        return images;
    }
    void assign(std::int16_t box) {
        show_time(*demo.crossing_ms[static_cast<std::size_t>(box - 1)]);
        clock.advance(50);
        QTest::mouseClick(form->findChild<QPushButton*>(QString("Command_box_%1").arg(box)), Qt::LeftButton);
    }
    // The picture recorded at a play position.
    QImage frame(std::int16_t position) { return pictures().picture(position); }
    // The picture at which each box was given its time, as stored with the heat now.
    std::int16_t finish_picture(std::int16_t box) const {
        cls_VideoFile_handler stored;
        stored.Open_File(path);
        return stored.Velt_heat_frame(box);
    }
};

TEST_F(FramePrint, WithNoRecordingOpenNothingIsPrinted) {
    form->findChild<QAction*>("item_print_frame")->trigger();
    form->findChild<QAction*>("item_print_series")->trigger();
    EXPECT_TRUE(op.messages.empty());
    EXPECT_TRUE(pdfs().empty());
}

TEST_F(FramePrint, ASeriesPrintsTheTimedBoxesFastestFirstWithTheNamesCutAt27) {
    ASSERT_TRUE(demo.crossing_ms[1] && demo.crossing_ms[4]);
    {
        cls_VideoFile_handler rec;
        rec.Open_File(path);
        rec.Velt_Dog_name(2, "Abcdefghijklmnopqrstuvwxyz0123");
        rec.Write_XML_header();
        rec.Close_File();
    }
    form->Handle_Open(path);
    assign(2);
    assign(5);
    testing::slider_play(*form)->setValue(3);

    form->findChild<QAction*>("item_print_series")->trigger();
    const std::string pdf = printed_pdf();
    ASSERT_FALSE(pdf.empty()) << op.last_message();
    EXPECT_EQ(op.last_message().rfind("No printer available, the goal photo series is ", 0), 0u);
    EXPECT_EQ(testing::picture_number(*form), 3); // the picture on show is back
    // Into the capture folder's "Prints", named after the event, heat and kind; a second print of the
    // same kind is written beside the first.
    EXPECT_EQ(pdf, dir.file("Prints/Test Event heat 1 goal photo series.pdf"));
    form->findChild<QAction*>("item_print_series")->trigger();
    EXPECT_EQ(printed_pdf(), dir.file("Prints/Test Event heat 1 goal photo series (2).pdf"));
    EXPECT_EQ(pdfs().size(), 2u);
    // "Print folder..." offers the folder in use; the one chosen holds the prints from then on.
    std::string offered;
    form->choose_print_folder = [&](const std::string& suggested) {
        offered = suggested;
        return dir.file("data");
    };
    form->findChild<QAction*>("item_print_folder")->trigger();
    EXPECT_EQ(offered, dir.file("Prints"));
    form->findChild<QAction*>("item_print_frame")->trigger();
    EXPECT_EQ(printed_pdf(), dir.file("data/Test Event heat 1 goal frame.pdf"));

    const std::string text = run("pdftotext -layout '" + pdf + "' -");
    EXPECT_NE(text.find("Heat: 1 Test Heat at: "), std::string::npos) << text;
    EXPECT_NE(text.find("Goal photos"), std::string::npos);
    // Cut in the table; the dog line under the picture has room for the whole name.
    EXPECT_NE(text.find("Abcdefghijklmnopqrstuvwxyz0     "), std::string::npos) << text;
    EXPECT_NE(text.find("File name: Test Event_1.px3"), std::string::npos);
    EXPECT_NE(text.find("Veltro dog race timing system"), std::string::npos);

    keep_page(pdf, "print_series");
    const std::vector<QImage> images = pages(pdf);
    ASSERT_EQ(images.size(), 1u);
    const std::vector<QRect> cells = picture_cells(images[0]);
    ASSERT_EQ(cells.size(), 2u);
    EXPECT_LT(cells[0].left(), cells[1].left());
    const bool five_first = *demo.crossing_ms[4] < *demo.crossing_ms[1];
    const QImage faster = frame(finish_picture(five_first ? 5 : 2));
    const QImage slower = frame(finish_picture(five_first ? 2 : 5));
    const QImage first = images[0].copy(cells[0]), second = images[0].copy(cells[1]);
    EXPECT_LT(difference(first, faster), difference(first, slower));
    EXPECT_LT(difference(second, slower), difference(second, faster));
}

TEST_F(FramePrint, AFramePrintsThePictureOnShowWithItsElapsedTime) {
    form->Handle_Open(path);
    show_time(*demo.crossing_ms[0]);
    op.inputs.push_back(std::string("Lucky Star"));
    form->findChild<QAction*>("item_print_dog_name")->trigger();
    EXPECT_EQ(form->print_dog_name(), "Lucky Star");
    op.inputs.push_back(std::nullopt); // cancelled: the name stays
    form->findChild<QAction*>("item_print_dog_name")->trigger();
    EXPECT_EQ(form->print_dog_name(), "Lucky Star");

    form->findChild<QAction*>("item_print_frame")->trigger();
    const std::string pdf = printed_pdf();
    ASSERT_FALSE(pdf.empty()) << op.last_message();
    const std::string elapsed = form->findChild<QLabel*>("Label_heat_time")->text().toStdString();
    const std::string text = run("pdftotext -layout '" + pdf + "' -");
    const auto label = text.find("Elapsed time :");
    ASSERT_NE(label, std::string::npos) << text;
    // The time of the picture on show follows its label on the same line.
    const auto time_at = text.find(elapsed, label);
    ASSERT_NE(time_at, std::string::npos) << text;
    EXPECT_EQ(text.find('\n', label), text.find('\n', time_at));
    EXPECT_NE(text.find("Box Dog Name"), std::string::npos);
    keep_page(pdf, "print_frame");
    const std::vector<QImage> images = pages(pdf);
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(picture_cells(images[0]).size(), 1u);
}

// Nothing is drawn over a printed picture but the goal line, one pixel wide, and none when the
// operator switches it off; the dog lines are text under the pictures.
TEST_F(FramePrint, PrintedPicturesAreTheRecordedOnesButForTheLine) {
    form->Handle_Open(path);
    for (std::int16_t box = 1; box <= 6; ++box)
        assign(box);
    // The goal camera's pictures are on show (the button offers the split camera's), its line in its
    // colour.
    ASSERT_EQ(form->findChild<QPushButton*>("Command_split_goal")->text(), "Split");
    const QRgb colour = bgr_colour(Display_Goal_times().colour).rgb();
    const auto series = form->print_pictures(true);
    ASSERT_EQ(series.size(), 2u);
    for (const auto& page : series)
        for (const PrintCell& cell : page) {
            ASSERT_GE(cell.caption.size(), 3u);
            const auto box =
                static_cast<std::int16_t>(std::stoi(cell.caption[0].substr(cell.caption[0].find(':') + 1)));
            EXPECT_GT(line_rows(to_qimage(cell.picture), frame(finish_picture(box)), colour), 500)
                << cell.caption[0];
            EXPECT_EQ(cell.caption.back().rfind("Whole picture, ", 0), 0u) << cell.caption.back();
        }

    form->findChild<QAction*>("item_print_goal_line")->trigger();
    EXPECT_EQ(Read_Setting(keys::print_goal_line), "0");
    testing::slider_play(*form)->setValue(7);
    const auto frame_page = form->print_pictures(false);
    EXPECT_EQ(line_rows(to_qimage(frame_page.at(0).at(0).picture), frame(7), colour), 0);

    form->findChild<QAction*>("item_print_series")->trigger();
    const std::string pdf = printed_pdf();
    ASSERT_FALSE(pdf.empty()) << op.last_message();
    const std::string text = run("pdftotext -layout '" + pdf + "' -");
    EXPECT_NE(text.find("Dog:6"), std::string::npos) << text;
    EXPECT_NE(text.find("Whole picture, "), std::string::npos) << text;
}

// Zoomed in on each dog's nose when giving its time, the series shows every box in a crop around
// its own nose at the line: the jacket behind the nose at the crop's middle is the box's colour.
TEST_F(FramePrint, AZoomedSeriesShowsEveryBoxAroundItsOwnNose) {
    form->Handle_Open(path);
    PictureBox& picture = *testing::picture_live(*form);
    const QSize size = frame(1).size();
    const CropOrigin origin =
        hdmi_crop_origin(DemoRaceScene::kWidth, DemoRaceScene::kHeight, size.width(), size.height());
    // This heat is timed without a goal compensation: a picture's heat time runs the default one ahead
    // of the scene's clock.
    const std::int32_t ahead = TimingSettings{}.goal_compensation;
    for (std::int16_t box = 1; box <= 6; ++box) {
        show_time(*demo.crossing_ms[static_cast<std::size_t>(box - 1)] + ahead);
        picture.view().reset();
        // Pointed at the dog's jacket behind its head, at the line.
        const int jacket_row = DemoRaceScene::head_rows(box).first + 17 - origin.y0;
        ASSERT_TRUE(picture.zoom_by(3, QPointF(DemoRaceScene::kFinishX - origin.x0, jacket_row)));
        clock.advance(50);
        QTest::mouseClick(form->findChild<QPushButton*>(QString("Command_box_%1").arg(box)), Qt::LeftButton);
    }
    ASSERT_EQ(picture.view().zoom(), 3.0);
    std::set<std::int16_t> seen;
    for (const auto& page : form->print_pictures(true))
        for (const PrintCell& cell : page) {
            const auto box =
                static_cast<std::int16_t>(std::stoi(cell.caption[0].substr(cell.caption[0].find(':') + 1)));
            seen.insert(box);
            const QImage crop = to_qimage(cell.picture);
            EXPECT_EQ(crop.size(), QSize(qRound(size.width() / 3.0), qRound(size.height() / 3.0)));
            const QRgb behind_nose = crop.pixel(crop.width() / 2 - 50, crop.height() / 2);
            EXPECT_TRUE(near(behind_nose, box_tile_colours(box)->background.bgr()))
                << "box " << box << ": " << std::hex << behind_nose;
            EXPECT_EQ(cell.caption.back().rfind("Box " + std::to_string(box) + " at the line, zoomed 3x", 0),
                      0u)
                << cell.caption.back();
        }
    EXPECT_EQ(seen.size(), 6u);

    form->findChild<QAction*>("item_print_series")->trigger();
    const std::string pdf = printed_pdf();
    ASSERT_FALSE(pdf.empty()) << op.last_message();
    keep_page(pdf, "print_series_zoomed");
    EXPECT_NE(run("pdftotext '" + pdf + "' -").find("at the line, zoomed 3x"), std::string::npos);
}

// The results print is a document of text: every heading field, the official mark, the table with a
// blank split where none was given, and a footer naming the recording, the start of its SHA-256 and
// the page.
TEST_F(FramePrint, TheResultsPrintIsADocumentWithEveryHeadingField) {
    op.inputs = {"Anna"}; // asked at the first change
    form->Handle_Open(path);
    for (std::int16_t box = 1; box <= 3; ++box)
        assign(box);
    form->findChild<QAction*>("item_declare_official")->trigger();
    form->results_window().print();
    const std::string pdf = printed_pdf();
    ASSERT_FALSE(pdf.empty()) << op.last_message();
    keep_page(pdf, "print_results");
    const std::string text = run("pdftotext -layout '" + pdf + "' -");
    const std::string start = pictures().file().Velt_start_DateTime();
    for (const std::string& field :
         {std::string("Test Event"), "Meeting date: " + start.substr(0, 10), std::string("Heat 1 Test Heat"),
          "Start: " + start.substr(11), std::string("Rank"), std::string("Box"), std::string("Dog"),
          std::string("Split"), std::string("Time"), std::string("Dist"),
          std::string("File: Test Event_1.px3"), "SHA-256: " + sha256_file_hex(path).value().substr(0, 16),
          std::string("Page 1 of 1"), std::string("Official: Anna, ")})
        EXPECT_NE(text.find(field), std::string::npos) << field << "\n" << text;
    // Three timed dogs, none with a split: no time of nought anywhere.
    EXPECT_EQ(text.find("00,00"), std::string::npos) << text;
    // The estimates are advisory: on paper only when the operator asks for them.
    EXPECT_EQ(text.find("estimated"), std::string::npos) << text;
    form->results_window().findChild<QAction*>("item_print_estimates")->trigger();
    form->results_window().print();
    const std::string with = run("pdftotext -layout '" + printed_pdf() + "' -");
    EXPECT_NE(with.find(" estimated (advisory): \xe2\x89\x88 2,"), std::string::npos) << with;
}

TEST_F(FramePrint, ThePhotoFinishIsPrintedOnALandscapePageWithTheHeatAndItsResults) {
    form->Handle_Open(path);
    for (std::int16_t box = 1; box <= 6; ++box)
        assign(box);
    form->findChild<QAction*>("item_print_photo_finish")->trigger();
    const std::string pdf = printed_pdf();
    ASSERT_FALSE(pdf.empty()) << op.last_message();
    keep_page(pdf, "print_photo_finish");
    const std::string text = run("pdftotext -layout '" + pdf + "' -");
    for (const char* field :
         {"Event: Test Event", "Heat: 1 Test Heat at: ", "Photo finish", "Box Dog Name", "Elapsed time : "})
        EXPECT_NE(text.find(field), std::string::npos) << field << "\n" << text;
    const std::vector<QImage> images = pages(pdf);
    ASSERT_EQ(images.size(), 1u);
    EXPECT_GT(images[0].width(), images[0].height());
}

} // namespace
} // namespace veltro
