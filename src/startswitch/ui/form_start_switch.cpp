#include "startswitch/ui/form_start_switch.h"

#include "support/operator.h"
#include "support/trace.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace veltro {

namespace {

constexpr const char* kSimulated = "simulated";

constexpr std::array<const char*, 6> kRoles = {
    "0  RM contact (starts when armed)", "1  Start armed switch", "2  Direct start",
    "3  Finish trigger with lamp",       "4  Finish trigger",     "5  Finish trigger, lamp of 3",
};

} // namespace

FormStartSwitch::FormStartSwitch(const KitBackends& kits, const Clock& clock, QWidget* parent)
    : QWidget(parent, Qt::Window), kits_(kits), clock_(clock) {
    setObjectName("Form_start_switch");
    setWindowTitle("Start switch");
    build();
    load();
}

void FormStartSwitch::build() {
    auto* top = new QVBoxLayout(this);
    // Wide enough for the hints to wrap onto two lines at most.
    setMinimumWidth(600);
    auto* form = new QFormLayout;
    combo_backend_ = new QComboBox(this);
    combo_backend_->setObjectName("Combo_backend");
    combo_backend_->addItem("Simulated interface kit (no hardware)", kSimulated);
    for (const KitBackend& b : kits_.list()) {
        combo_backend_->addItem(QString::fromStdString(b.label), QString::fromStdString(b.id));
    }
    form->addRow("Hardware", combo_backend_);
    top->addLayout(form);

    wiring_ = new QWidget(this);
    auto* wiring = new QVBoxLayout(wiring_);
    wiring->setContentsMargins(0, 0, 0, 0);
    auto* device_row = new QFormLayout;
    combo_device_ = new QComboBox(wiring_);
    combo_device_->setObjectName("Combo_device");
    combo_device_->setEditable(true);
    combo_device_->setMinimumContentsLength(36);
    device_row->addRow("Device", combo_device_);
    label_device_hint_ = new QLabel(wiring_);
    label_device_hint_->setWordWrap(true);
    device_row->addRow("", label_device_hint_);
    wiring->addLayout(device_row);

    auto* inputs = new QGroupBox("Inputs: the line each one is wired to", wiring_);
    auto* grid = new QGridLayout(inputs);
    for (std::size_t i = 0; i < kRoles.size(); ++i) {
        const int row = static_cast<int>(i);
        grid->addWidget(new QLabel(kRoles[i], inputs), row, 0);
        text_lines_[i] = new QLineEdit(inputs);
        text_lines_[i]->setObjectName(QString("Text_line_%1").arg(row));
        grid->addWidget(text_lines_[i], row, 1);
        check_inverted_[i] = new QCheckBox("Inverted", inputs);
        check_inverted_[i]->setObjectName(QString("Check_inverted_%1").arg(row));
        grid->addWidget(check_inverted_[i], row, 2);
    }
    wiring->addWidget(inputs);
    label_line_hint_ = new QLabel(wiring_);
    label_line_hint_->setWordWrap(true);
    wiring->addWidget(label_line_hint_);

    auto* more = new QFormLayout;
    spin_debounce_ = new QSpinBox(wiring_);
    spin_debounce_->setObjectName("Spin_debounce");
    spin_debounce_->setRange(0, static_cast<int>(kMaxDebounceMs));
    spin_debounce_->setSuffix(" ms");
    more->addRow("Debounce", spin_debounce_);
    text_led_ = new QLineEdit(wiring_);
    text_led_->setObjectName("Text_led_line");
    more->addRow("LED output line", text_led_);
    wiring->addLayout(more);
    top->addWidget(wiring_);

    label_status_ = new QLabel(this);
    label_status_->setObjectName("Label_kit_status");
    label_status_->setWordWrap(true);
    top->addWidget(label_status_);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("Command_OK");
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName("Command_Cancel");
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    top->addLayout(buttons);

    connect(combo_backend_, &QComboBox::currentIndexChanged, this, [this] { backend_chosen(); });
    connect(ok, &QPushButton::clicked, this, [this] {
        if (apply()) {
            close();
        }
    });
    connect(cancel, &QPushButton::clicked, this, [this] { close(); });
}

void FormStartSwitch::load() {
    show_config(load_kit_config());
    refresh_status();
}

void FormStartSwitch::refresh_status() {
    label_status_->setText(kit_status ? QString::fromStdString(kit_status()) : QString());
}

void FormStartSwitch::show_config(const KitConfig& config) {
    loading_ = true;
    const int index = combo_backend_->findData(QString::fromStdString(config.backend));
    combo_backend_->setCurrentIndex(index < 0 ? 0 : index);
    const KitBackend* backend = kits_.find(config.backend);
    combo_device_->clear();
    if (backend) {
        for (const std::string& d : backend->devices()) {
            combo_device_->addItem(QString::fromStdString(d));
        }
    }
    combo_device_->setEditText(QString::fromStdString(config.device));
    label_device_hint_->setText(backend ? QString::fromStdString(backend->device_hint) : QString());
    label_line_hint_->setText(backend ? QString::fromStdString(backend->line_hint) : QString());
    for (std::size_t i = 0; i < text_lines_.size(); ++i) {
        text_lines_[i]->setText(QString::fromStdString(config.lines[i]));
        check_inverted_[i]->setChecked(config.inverted[i]);
    }
    spin_debounce_->setValue(static_cast<int>(config.debounce_ms));
    text_led_->setText(QString::fromStdString(config.led_line));
    wiring_->setEnabled(backend != nullptr);
    loading_ = false;
    adjustSize();
}

void FormStartSwitch::backend_chosen() {
    if (loading_) {
        return;
    }
    const std::string id = combo_backend_->currentData().toString().toStdString();
    // The stored wiring belongs to the stored hardware; other hardware starts from its own.
    const KitConfig stored = load_kit_config();
    if (stored.backend == id) {
        show_config(stored);
    } else if (const KitBackend* backend = kits_.find(id)) {
        show_config(backend->defaults());
    } else {
        show_config(KitConfig{});
    }
}

KitConfig FormStartSwitch::fields() const {
    KitConfig config;
    config.backend = combo_backend_->currentData().toString().toStdString();
    if (config.backend == kSimulated) {
        return config;
    }
    config.device = combo_device_->currentText().trimmed().toStdString();
    for (std::size_t i = 0; i < text_lines_.size(); ++i) {
        config.lines[i] = text_lines_[i]->text().trimmed().toStdString();
        config.inverted[i] = check_inverted_[i]->isChecked();
    }
    config.debounce_ms = static_cast<std::uint32_t>(spin_debounce_->value());
    config.led_line = text_led_->text().trimmed().toStdString();
    return config;
}

bool FormStartSwitch::apply() {
    const KitConfig config = fields();
    std::string error;
    std::unique_ptr<InterfaceKit> kit = kits_.make_interface_kit(config, clock_, error);
    if (!error.empty()) {
        the_operator().message("The start switch cannot be used as set: " + error, MsgIcon::Exclamation);
        return false;
    }
    if (may_change && !may_change()) {
        return false;
    }
    if (!save_kit_config(config)) {
        return false;
    }
    Trace("*Start switch set to ", config.backend, " ", config.device);
    if (use_kit) {
        use_kit(std::move(kit));
    }
    refresh_status();
    return true;
}

} // namespace veltro
