#include "support/ui/frm_about.h"

#include "support/app_paths.h"
#include "support/operator.h"
#include "support/process_facts.h"
#include "support/run_mode.h"
#include "support/settings.h"
#include "support/system_info.h"
#include "support/trace.h"
#include "support/ui/print_target.h"
#include "support/ui/run_trapped.h"
#include "support/veltro_error.h"
#include "veltro_version.h"

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QDesktopServices>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMenuBar>
#include <QPainter>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QUrl>
#include <QVBoxLayout>

namespace veltro {
namespace {

std::string location(const char* procedure) {
    return std::string(procedure) + " of Form frmAbout";
}

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

// The product picture: a chequered finish flag.
QPixmap product_picture(int size) {
    QPixmap pix(size, size);
    pix.fill(Qt::transparent);
    QPainter p(&pix);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x20, 0x3a, 0x60));
    p.drawRoundedRect(QRectF(0, 0, size, size), size / 8.0, size / 8.0);
    const int cells = 5;
    const double cell = size * 0.7 / cells, left = size * 0.15, top = size * 0.15;
    for (int r = 0; r < cells; ++r)
        for (int c = 0; c < cells; ++c) {
            p.setBrush((r + c) % 2 ? QColor(Qt::black) : QColor(Qt::white));
            p.drawRect(QRectF(left + c * cell, top + r * cell, cell, cell));
        }
    p.setPen(QPen(QColor(0xe0, 0x30, 0x30), size / 24.0));
    p.drawLine(QPointF(size * 0.5, size * 0.08), QPointF(size * 0.5, size * 0.92));
    return pix;
}

// The system information tools of the common Linux desktops, in order of preference.
QString system_information_tool() {
    for (const char* tool : {"hardinfo2", "hardinfo", "kinfocenter", "gnome-system-monitor"})
        if (QString path = QStandardPaths::findExecutable(tool); !path.isEmpty())
            return path;
    return {};
}

} // namespace

AboutSources& about_sources() {
    static AboutSources sources;
    return sources;
}

frmAbout::frmAbout(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("frmAbout");
    Trace("*Form_Load, begin ", "frmAbout");
    setWindowTitle(qs(std::string("About ") + kProgramId));
    const ProcessFacts& f = process_facts();
    const AboutSources& hooks = about_sources();

    auto add = [](const char* name, const QString& text) {
        auto* l = new QLabel(text);
        l->setObjectName(name);
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
        l->setWordWrap(true);
        return l;
    };
    const std::string build_date = f.build_date.empty() ? build_date_text() : f.build_date;
    QLabel* description = add("Lbldescription", qs(kProgramId));
    QFont big = description->font();
    big.setPointSizeF(big.pointSizeF() * 1.8);
    big.setBold(true);
    description->setFont(big);
    QLabel* version = add(
        "Lblversion", qs("Version " + std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) +
                         "." + std::to_string(kVersionRevision) + ", Compile date: " + build_date));
    QLabel* filedate = add("Lbl_filedate", qs((f.exe_name.empty() ? executable_name() : f.exe_name) +
                                              " Filedate = " + f.exe_date));
    const std::string backends = hooks.capture_backends ? hooks.capture_backends() : "demo camera, V4L2";
    QLabel* capture = add("Lbl_Heroncap", qs("Capture: " + backends));
    QLabel* graphics =
        add("Lbl_HeronGraphics", qs(std::string("Graphics: ") + kProgramId + " " + kVersionText +
                                    " field, deinterlace and rotation rendering"));
    const std::string kit = hooks.interface_kit_version ? hooks.interface_kit_version() : std::string();
    QLabel* phidget = add("Label_phidget_version", qs(kit.empty() ? "No Phidget driver found" : kit));
    QLabel* flags = add("Lbl_AppFlags", qs(compatibility_flags()));
    auto* flags_row = new QHBoxLayout;
    flags_row->addWidget(new QLabel("Compatibility flags:"));
    flags_row->addWidget(flags, 1);
    QLabel* disclaimer = add(
        "Lbldisclaimer", "Copyright \u00a9 the Veltro developers. Times shown by this program are the basis "
                         "of the judges' decision; check every close finish on the recorded pictures.");
    QFont small = disclaimer->font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    disclaimer->setFont(small);

    auto* userapp = new QLabel(QString("<a href=\"#\">%1</a>").arg(qs(data_dir()).toHtmlEscaped()));
    userapp->setObjectName("Label_userapp");
    userapp->setToolTip("Open the folder in the file browser");
    userapp->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    userapp->setWordWrap(true);
    connect(userapp, &QLabel::linkActivated, this,
            trapped(location("Label_userapp_Click"), [this] { label_userapp_click(); }));
    auto* frame = new QGroupBox("User application data folder");
    (new QVBoxLayout(frame))->addWidget(userapp);

    auto* picture = new QLabel;
    picture->setObjectName("Picture_product");
    picture->setPixmap(product_picture(96));
    picture->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    auto* ok = new QPushButton("OK");
    ok->setObjectName("cmdOK");
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QWidget::close);
    auto* sysinfo = new QPushButton("System Info...");
    sysinfo->setObjectName("cmdSysInfo");
    connect(sysinfo, &QPushButton::clicked, this,
            trapped(location("cmdSysInfo_Click"), [this] { cmd_sys_info_click(); }));

    auto* texts = new QVBoxLayout;
    texts->addWidget(description);
    texts->addWidget(version);
    texts->addWidget(filedate);
    texts->addSpacing(8);
    texts->addWidget(capture);
    texts->addWidget(graphics);
    texts->addWidget(phidget);
    texts->addLayout(flags_row);
    texts->addSpacing(8);
    texts->addWidget(frame);
    texts->addStretch(1);

    auto* top = new QHBoxLayout;
    top->addWidget(picture);
    top->addSpacing(12);
    top->addLayout(texts, 1);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(disclaimer, 1);
    auto* button_column = new QVBoxLayout;
    button_column->addWidget(ok);
    button_column->addWidget(sysinfo);
    bottom->addLayout(button_column);

    auto* menus = new QMenuBar;
    QMenu* form = menus->addMenu("Form");
    form->setObjectName("mnu_form");
    connect(form->addAction("Print"), &QAction::triggered, this,
            trapped(location("item_print_Click"), [this] { item_print_click(); }));
    connect(form, &QMenu::aboutToShow, this, [this] {
        if (QApplication::keyboardModifiers() & Qt::ControlModifier)
            toggle_debug_menu();
    });
    debug_menu_ = menus->addMenu("Debug");
    debug_menu_->setObjectName("mnu_debug");
    connect(debug_menu_->addAction("Date formats"), &QAction::triggered, this,
            trapped(location("item_date_formats_Click"), [this] { item_date_formats_click(); }));
    debug_menu_->menuAction()->setVisible(is_debug_run());
    QMenu* sources = menus->addMenu("Sources");
    sources->setObjectName("mnu_sources");
    connect(sources->addAction("Video sources"), &QAction::triggered, this,
            trapped(location("item_video_sources_Click"), [this] { item_video_sources_click(); }));

    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(menus);
    layout->addLayout(top, 1);
    layout->addSpacing(8);
    layout->addLayout(bottom);
    resize(600, 380);
    Trace("*Form_Load, end ", "frmAbout");
}

QLabel* frmAbout::label(const char* name) const {
    return findChild<QLabel*>(name);
}

void frmAbout::toggle_debug_menu() {
    debug_menu_->menuAction()->setVisible(!debug_menu_->menuAction()->isVisible());
}

std::string frmAbout::date_formats_text() {
    const QDateTime now = QDateTime::currentDateTime();
    const QLocale locale;
    return "date = " + locale.toString(now.date(), QLocale::ShortFormat).toStdString() + "\r\n" +
           "time = " + locale.toString(now.time(), QLocale::LongFormat).toStdString() + "\r\n" +
           "now = " + locale.toString(now, QLocale::ShortFormat).toStdString() + "\r\n" +
           "ISODate = " + now.toString("yyyy-MM-dd").toStdString() + "\r\n" +
           "ISOnow = " + now.toString("yyyy-MM-dd HH:mm:ss").toStdString();
}

void frmAbout::item_date_formats_click() {
    the_operator().message(date_formats_text());
}

void frmAbout::item_video_sources_click() {
    const auto& lister = about_sources().video_sources;
    const std::vector<std::string> names = lister ? lister() : std::vector<std::string>();
    QString text;
    for (const auto& name : names) {
        Trace("*frmAbout video source", name);
        text += qs(name) + "\n";
    }
    QApplication::clipboard()->setText(text);
    the_operator().message("Video sources, data is copied to Clipboard!");
}

void frmAbout::label_userapp_click() {
    QDesktopServices::openUrl(QUrl::fromLocalFile(qs(data_dir())));
}

void frmAbout::cmd_sys_info_click() {
    const QString tool = system_information_tool();
    if (tool.isEmpty() || !QProcess::startDetached(tool, {}))
        the_operator().message("System Information Is Unavailable At This Time", MsgIcon::Exclamation);
}

void frmAbout::item_print_click() {
    const bool ask = printer_dialog_wanted();
    PrintTarget target = choose_print_target(this, qs(std::string(kProgramId) + "_about"), ask);
    if (!target.printer)
        return;
    if (!print_window_image(this, *target.printer))
        throw VeltroError(err::kPrinterError, "Printer error: the window could not be printed");
    tell_if_printed_to_file(target, "the window is");
}

} // namespace veltro
