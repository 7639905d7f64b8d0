#include "support/ui/form_veltro_settings.h"

#include "support/numbers.h"
#include "support/operator.h"
#include "support/settings.h"
#include "support/ui/run_trapped.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkInterface>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>
#include <algorithm>

namespace veltro {

namespace {

// A delay is at most five digits: what the timing values take, and far beyond any real delay.
constexpr int kDelayDigits = 5;
// Seconds per length: digits and one decimal point ("0.08"), eight characters at most.
constexpr int kLengthChars = 8;
// A port: 1..65535.
constexpr int kPortDigits = 5;
constexpr int kHighestPort = 65535;
// The officials' token goes into their pages' addresses as typed: characters that an address carries
// unchanged, and no longer than anyone would type on a phone.
constexpr int kTokenChars = 64;

bool digits_fit(const QString& text, int most) {
    return text.size() <= most &&
           std::all_of(text.begin(), text.end(), [](QChar c) { return c >= '0' && c <= '9'; });
}

bool delay_fits(const QString& text) {
    return digits_fit(text, kDelayDigits);
}

bool port_fits(const QString& text) {
    return digits_fit(text, kPortDigits);
}

bool token_char(QChar c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

bool token_fits(const QString& text) {
    return text.size() <= kTokenChars && std::all_of(text.begin(), text.end(), token_char);
}

// "udp:HOST:PORT" or "tcp:HOST:PORT" (HOST a name, an IPv4 address or "[IPv6 address]") with a port
// of 1..65535, or "serial:DEVICE:BAUD" (the device's path may hold colons itself).
bool scoreboard_target_fits(const QString& text) {
    static const QRegularExpression network(
        R"(^(?:udp|tcp):(?:\[[0-9A-Fa-f:.]+\]|[^\s:\[\]]+):([0-9]{1,5})$)");
    static const QRegularExpression serial(R"(^serial:\S+:([0-9]{1,7})$)");
    if (const QRegularExpressionMatch m = network.match(text); m.hasMatch()) {
        const int port = m.captured(1).toInt();
        return port >= 1 && port <= kHighestPort;
    }
    if (const QRegularExpressionMatch m = serial.match(text); m.hasMatch())
        return m.captured(1).toInt() > 0;
    return false;
}

bool seconds_fit(const QString& text) {
    return text.size() <= kLengthChars && text.count('.') <= 1 &&
           std::all_of(text.begin(), text.end(), [](QChar c) { return c == '.' || (c >= '0' && c <= '9'); });
}

// The field's text once `typed` replaces the selection (or goes in at the cursor).
QString after_typing(const QLineEdit* field, const QString& typed) {
    QString text = field->text();
    if (field->hasSelectedText())
        return text.replace(field->selectionStart(), field->selectedText().size(), typed);
    return text.insert(field->cursorPosition(), typed);
}

} // namespace

bool setting_switch_on(const char* key) {
    try {
        return parse_long(Read_Setting("Settings", key, "0")) != 0;
    } catch (const std::exception&) {
        return false;
    }
}

Form_Veltro_settings::Form_Veltro_settings(std::function<void()> load_compensations, QWidget* parent)
    : QWidget(parent, Qt::Window), load_compensations_(std::move(load_compensations)) {
    setObjectName("Form_Veltro_settings");
    setWindowTitle("Veltro HDMI Settings");
    setAttribute(Qt::WA_DeleteOnClose, false);

    auto* various = new QGroupBox("Various settings", this);
    various->setObjectName("Frame_various");
    auto* various_layout = new QVBoxLayout(various);
    auto_init_ = check("Check_Auto_init", "Automatically initiate file on start signal", keys::auto_init.key);
    print_dialog_ =
        check("Check_print_dialog", "Show printer dialog on Print commands", keys::show_printer_dialog.key);
    open_after_finish_ = check("Check_open_after_finish", "Automatically open last heat after Heat Finish",
                               keys::open_after_finish.key);
    various_layout->addWidget(auto_init_);
    various_layout->addWidget(print_dialog_);
    replace_without_asking_ = check("Check_replace_without_asking", "Replace a judged time without asking",
                                    keys::replace_without_asking.key);
    various_layout->addWidget(open_after_finish_);
    various_layout->addWidget(replace_without_asking_);

    auto* box_frame = new QGroupBox("Box delay ms", this);
    auto* box_layout = new QVBoxLayout(box_frame);
    box_delay_ = delay_field("Text_Box_delay", keys::box_delay.key);
    box_layout->addWidget(box_delay_);

    auto* cam_frame = new QGroupBox("Video pipe camera delay ms", this);
    auto* cam_layout = new QGridLayout(cam_frame);
    cam_layout->addWidget(new QLabel("Goal              Split", cam_frame), 0, 0, 1, 2);
    goal_delay_ = delay_field("Text_goalcam_delay", keys::goal_compensation.key);
    split_delay_ = delay_field("Text_splitcam_delay", keys::split_compensation.key);
    cam_layout->addWidget(goal_delay_, 1, 0);
    cam_layout->addWidget(split_delay_, 1, 1);

    auto* length_frame = new QGroupBox("Seconds per length", this);
    length_frame->setObjectName("Frame_seconds_per_length");
    seconds_per_length_ = new QLineEdit(length_frame);
    seconds_per_length_->setObjectName("Text_seconds_per_length");
    seconds_per_length_->setMaximumWidth(90);
    seconds_per_length_->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QString("(?=.{0,%1}$)[0-9]*\\.?[0-9]*").arg(kLengthChars)), seconds_per_length_));
    seconds_per_length_->installEventFilter(this);
    connect(
        seconds_per_length_, &QLineEdit::textChanged, this,
        trapped("Text_seconds_per_length_Change of Form Form_Veltro_settings", [this](const QString& text) {
            if (!loading_)
                Write_Setting(keys::seconds_per_length, text.toStdString());
        }));
    (new QVBoxLayout(length_frame))->addWidget(seconds_per_length_);

    QGroupBox* live = live_results_group();

    auto* hide = new QPushButton("Hide", this);
    hide->setObjectName("Command_hide");
    connect(hide, &QPushButton::clicked, this, [this] { close(); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(various);
    auto* delays = new QHBoxLayout;
    delays->addWidget(box_frame);
    delays->addWidget(cam_frame);
    delays->addWidget(length_frame);
    layout->addLayout(delays);
    layout->addWidget(live);
    layout->addWidget(hide, 0, Qt::AlignRight);
}

Form_Veltro_settings::~Form_Veltro_settings() {
    // A field that loses the focus as the window goes would store its value into a window half gone.
    for (QLineEdit* field : {live_port_, live_token_, scoreboard_target_})
        disconnect(field, &QLineEdit::editingFinished, this, nullptr);
}

QGroupBox* Form_Veltro_settings::live_results_group() {
    auto* group = new QGroupBox("Live results", this);
    group->setObjectName("Frame_live_results");
    auto* grid = new QGridLayout(group);

    const auto live_switch = [this, group](const char* name, const char* caption, const SettingKey& key) {
        auto* box = new QCheckBox(caption, group);
        box->setObjectName(name);
        const std::string location = std::string(name) + "_Click of Form Form_Veltro_settings";
        connect(box, &QCheckBox::toggled, this, trapped(location, [this, &key](bool on) {
                    if (!loading_)
                        store_live(key, on ? "1" : "0");
                }));
        return box;
    };
    // A typed value is stored once the field is left or Enter pressed.
    const auto live_field = [this, group](const char* name, const char* location_name, auto store) {
        auto* field = new QLineEdit(group);
        field->setObjectName(name);
        const std::string location = std::string(location_name) + "_LostFocus of Form Form_Veltro_settings";
        connect(field, &QLineEdit::editingFinished, this, trapped(location, [this, store] {
                    if (!loading_)
                        store();
                }));
        return field;
    };
    const auto caption = [group](const char* text, QWidget* buddy) {
        auto* label = new QLabel(text, group);
        label->setBuddy(buddy);
        return label;
    };

    live_results_ = live_switch("Check_live_results", "Serve live results", keys::live_results);

    live_port_ = live_field("Text_live_results_port", "Text_live_results_port", [this] { store_port(); });
    live_port_->setFixedWidth(90);
    live_port_->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QString("[0-9]{0,%1}").arg(kPortDigits)), live_port_));
    live_port_->installEventFilter(this);

    live_network_ = new QComboBox(group);
    live_network_->setObjectName("Combo_live_results_network");
    live_network_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    connect(live_network_, &QComboBox::currentIndexChanged, this,
            trapped("Combo_live_results_network_Click of Form Form_Veltro_settings", [this](int index) {
                if (!loading_ && index >= 0)
                    store_live(keys::live_results_address, live_network_->itemData(index).toString());
            }));

    live_token_ = live_field("Text_live_results_token", "Text_live_results_token",
                             [this] { store_live(keys::live_results_token, live_token_->text()); });
    live_token_->setPlaceholderText("none: every page is open");
    live_token_->setToolTip("The officials' pages ask for it. Letters, digits and - . _ ~");
    live_token_->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QString("[A-Za-z0-9._~-]{0,%1}").arg(kTokenChars)), live_token_));
    live_token_->installEventFilter(this);

    scoreboard_ = live_switch("Check_scoreboard", "Scoreboard lines", keys::scoreboard);
    scoreboard_target_ =
        live_field("Text_scoreboard_target", "Text_scoreboard_target", [this] { store_scoreboard_target(); });
    scoreboard_target_->setPlaceholderText("udp:HOST:PORT, tcp:HOST:PORT or serial:DEVICE:BAUD");
    scoreboard_target_->setToolTip("udp:HOST:PORT, tcp:HOST:PORT or serial:DEVICE:BAUD");

    live_refused_ = new QLabel(group);
    live_refused_->setObjectName("Label_live_results_refused");
    live_refused_->setWordWrap(true);
    live_refused_->setStyleSheet("color: #b00000;");
    live_refused_->hide();

    grid->addWidget(live_results_, 0, 0, 1, 4);
    grid->addWidget(caption("&Port", live_port_), 1, 0);
    grid->addWidget(live_port_, 1, 1);
    grid->addWidget(caption("&Network", live_network_), 1, 2);
    grid->addWidget(live_network_, 1, 3);
    grid->addWidget(caption("Officials' &token", live_token_), 2, 0);
    grid->addWidget(live_token_, 2, 1, 1, 3);
    grid->addWidget(scoreboard_, 3, 0);
    grid->addWidget(scoreboard_target_, 3, 1, 1, 3);
    grid->addWidget(live_refused_, 4, 0, 1, 4);
    grid->setColumnStretch(3, 1);
    return group;
}

void Form_Veltro_settings::fill_networks() {
    const QString stored = QString::fromStdString(Read_Setting(keys::live_results_address));
    live_network_->clear();
    live_network_->addItem("Every network", "0.0.0.0");
    live_network_->addItem("This computer only", "127.0.0.1");
    for (const QNetworkInterface& nic : QNetworkInterface::allInterfaces()) {
        if (nic.flags() & QNetworkInterface::IsLoopBack)
            continue;
        for (const QNetworkAddressEntry& entry : nic.addressEntries()) {
            const QHostAddress ip = entry.ip();
            if (ip.protocol() == QAbstractSocket::IPv4Protocol && !ip.isLoopback())
                live_network_->addItem(QString("%1 (%2)").arg(ip.toString(), nic.humanReadableName()),
                                       ip.toString());
        }
    }
    // An address set by hand, or one of a network not joined now, stays what is stored.
    int chosen = live_network_->findData(stored);
    if (chosen < 0) {
        live_network_->addItem(QString("%1 (not on this computer now)").arg(stored), stored);
        chosen = live_network_->count() - 1;
    }
    live_network_->setCurrentIndex(chosen);
}

void Form_Veltro_settings::store_live(const SettingKey& key, const QString& value) {
    std::string stored = Read_Setting(key);
    if (stored == "N/A" && *key.default_value == '\0')
        stored.clear(); // not set, and nothing by default
    const std::string text = value.toStdString();
    if (text == stored)
        return;
    if (Write_Setting(key, text) && live_results_changed)
        live_results_changed();
}

void Form_Veltro_settings::refuse_live(const QLineEdit* field, const QString& why) {
    the_operator().beep();
    refused_field_ = field;
    live_refused_->setText(why);
    live_refused_->show();
}

void Form_Veltro_settings::accept_live(const QLineEdit* field) {
    if (field == refused_field_) {
        refused_field_ = nullptr;
        live_refused_->hide();
    }
}

void Form_Veltro_settings::store_port() {
    const QString text = live_port_->text();
    bool number = false;
    const int port = text.toInt(&number);
    if (!number || port < 1 || port > kHighestPort) {
        refuse_live(live_port_, QString("Port \"%1\" not stored: the port is a number from 1 to %2.")
                                    .arg(text)
                                    .arg(kHighestPort));
        return;
    }
    accept_live(live_port_);
    live_port_->setText(QString::number(port)); // "08080" as 8080
    store_live(keys::live_results_port, QString::number(port));
}

void Form_Veltro_settings::store_scoreboard_target() {
    const QString text = scoreboard_target_->text().trimmed();
    if (!scoreboard_target_fits(text)) {
        refuse_live(scoreboard_target_,
                    QString("Scoreboard target \"%1\" not stored: it is udp:HOST:PORT, tcp:HOST:PORT or "
                            "serial:DEVICE:BAUD.")
                        .arg(text));
        return;
    }
    accept_live(scoreboard_target_);
    scoreboard_target_->setText(text);
    store_live(keys::scoreboard_target, text);
}

QCheckBox* Form_Veltro_settings::check(const char* name, const char* caption, const char* key) {
    auto* box = new QCheckBox(caption, this);
    box->setObjectName(name);
    const std::string location = std::string(name) + "_Click of Form Form_Veltro_settings";
    connect(box, &QCheckBox::toggled, this, trapped(location, [this, key](bool on) {
                if (!loading_) {
                    Write_Setting("Settings", key, on ? "1" : "0");
                }
            }));
    return box;
}

QLineEdit* Form_Veltro_settings::delay_field(const char* name, const char* key) {
    auto* field = new QLineEdit(this);
    field->setObjectName(name);
    field->setMaximumWidth(90);
    // Pasted or dropped text that does not fit never reaches the field.
    field->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QString("[0-9]{0,%1}").arg(kDelayDigits)), field));
    field->installEventFilter(this);
    const std::string location = std::string(name) + "_Change of Form Form_Veltro_settings";
    connect(field, &QLineEdit::textChanged, this, trapped(location, [this, key](const QString& text) {
                if (loading_) {
                    return;
                }
                Write_Setting("Settings", key, text.toStdString());
                if (load_compensations_) {
                    load_compensations_();
                }
            }));
    return field;
}

void Form_Veltro_settings::load(std::int32_t goal_compensation, std::int32_t split_compensation,
                                std::int32_t box_delay) {
    loading_ = true;
    goal_delay_->setText(QString::number(goal_compensation));
    split_delay_->setText(QString::number(split_compensation));
    box_delay_->setText(QString::number(box_delay));
    seconds_per_length_->setText(QString::fromStdString(Read_Setting(keys::seconds_per_length)));
    auto_init_->setChecked(setting_switch_on(keys::auto_init.key));
    print_dialog_->setChecked(setting_switch_on(keys::show_printer_dialog.key));
    open_after_finish_->setChecked(setting_switch_on(keys::open_after_finish.key));
    replace_without_asking_->setChecked(setting_switch_on(keys::replace_without_asking.key));
    live_results_->setChecked(setting_switch_on(keys::live_results.key));
    live_port_->setText(QString::fromStdString(Read_Setting(keys::live_results_port)));
    fill_networks();
    const std::string token = Read_Setting(keys::live_results_token);
    live_token_->setText(token == "N/A" ? QString() : QString::fromStdString(token));
    scoreboard_->setChecked(setting_switch_on(keys::scoreboard.key));
    scoreboard_target_->setText(QString::fromStdString(Read_Setting(keys::scoreboard_target)));
    refused_field_ = nullptr;
    live_refused_->hide();
    loading_ = false;
}

bool Form_Veltro_settings::eventFilter(QObject* watched, QEvent* event) {
    bool (*fits)(const QString&) = nullptr;
    if (watched == box_delay_ || watched == goal_delay_ || watched == split_delay_)
        fits = delay_fits;
    else if (watched == seconds_per_length_)
        fits = seconds_fit;
    else if (watched == live_port_)
        fits = port_fits;
    else if (watched == live_token_)
        fits = token_fits;
    if (event->type() == QEvent::KeyPress && fits) {
        const auto* key = static_cast<QKeyEvent*>(event);
        switch (key->key()) {
        case Qt::Key_Backspace:
        case Qt::Key_Delete:
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_Home:
        case Qt::Key_End:
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return false;
        default:
            break;
        }
        const auto* field = static_cast<QLineEdit*>(watched);
        if (key->matches(QKeySequence::Paste)) {
            if (fits(after_typing(field, QGuiApplication::clipboard()->text())))
                return false;
            the_operator().beep();
            return true;
        }
        // Other shortcuts (copy, select all) pass; a typed character is taken only while the field
        // still fits.
        if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) {
            return false;
        }
        const QString text = key->text();
        if (!text.isEmpty() && !fits(after_typing(field, text))) {
            the_operator().beep();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace veltro
