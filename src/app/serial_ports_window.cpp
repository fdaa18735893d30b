#include "app/serial_ports_window.h"

#include "app/prompts.h"
#include "link/event_log.h"
#include "link/port_names.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <QVBoxLayout>

TF_SerialPorts::TF_SerialPorts(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("F_SerialPorts");
    setWindowTitle("Serial Ports");

    Label1 = new QLabel("Serial devices present, and the COM port linked to each:", this);
    Label1->setObjectName("Label1");
    Label1->setWordWrap(true);
    LV_Devices = new QTreeWidget(this);
    LV_Devices->setObjectName("LV_Devices");
    LV_Devices->setHeaderLabels({"Device", "COM port"});
    LV_Devices->setRootIsDecorated(false);
    LV_Devices->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    LV_Devices->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    LV_Devices->header()->setStretchLastSection(false);

    Label2 = new QLabel("Link the chosen device to COM", this);
    Label2->setObjectName("Label2");
    UD_Port = new QSpinBox(this);
    UD_Port->setObjectName("UD_Port");
    UD_Port->setRange(1, 100);
    B_Link = new QPushButton("Link", this);
    B_Link->setObjectName("B_Link");
    B_Refresh = new QPushButton("Refresh", this);
    B_Refresh->setObjectName("B_Refresh");
    B_Close = new QPushButton("Close", this);
    B_Close->setObjectName("B_Close");
    connect(B_Link, &QPushButton::clicked, this, [this] { B_LinkClick(); });
    connect(B_Refresh, &QPushButton::clicked, this, [this] { Refresh(); });
    connect(B_Close, &QPushButton::clicked, this, [this] { hide(); });
    connect(LV_Devices, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        B_Link->setEnabled(item != nullptr);
        // A device already linked offers its own number.
        if (item && item->data(1, Qt::UserRole).toInt() > 0)
            UD_Port->setValue(item->data(1, Qt::UserRole).toInt());
    });
    B_Link->setEnabled(false);
#ifdef _WIN32
    // COM numbers are the system's own there.
    for (QWidget* w : {static_cast<QWidget*>(Label2), static_cast<QWidget*>(UD_Port),
                       static_cast<QWidget*>(B_Link)})
        w->hide();
#endif

    auto* link_row = new QHBoxLayout;
    link_row->addWidget(Label2);
    link_row->addWidget(UD_Port);
    link_row->addWidget(B_Link);
    link_row->addStretch(1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(B_Refresh);
    buttons->addStretch(1);
    buttons->addWidget(B_Close);
    auto* col = new QVBoxLayout(this);
    col->addWidget(Label1);
    col->addWidget(LV_Devices, 1);
    col->addLayout(link_row);
    col->addLayout(buttons);
    resize(520, 300);
}

void TF_SerialPorts::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Refresh();
}

void TF_SerialPorts::Refresh() {
    const QTreeWidgetItem* current = LV_Devices->currentItem();
    const QString chosen = current ? current->text(0) : QString();
    LV_Devices->clear();
    for (const std::string& d : serial_devices(dev_root)) {
        const int port = linked_port(d);
        auto* item = new QTreeWidgetItem(LV_Devices);
        item->setText(0, QString::fromStdString(d));
        item->setText(1, port > 0 ? QString("COM%1").arg(port) : QString());
        item->setData(1, Qt::UserRole, port);
        if (item->text(0) == chosen)
            LV_Devices->setCurrentItem(item);
    }
    B_Link->setEnabled(LV_Devices->currentItem() != nullptr);
}

void TF_SerialPorts::B_LinkClick() {
    const QTreeWidgetItem* item = LV_Devices->currentItem();
    if (!item)
        return;
    const int port = UD_Port->value();
    const std::string device = item->text(0).toStdString();
    const std::string error = link_port(port, device);
    if (!error.empty()) {
        marev::current_prompts().message(QString("Could not link COM%1 to the device.").arg(port),
                                         "Serial Ports",
                                         item->text(0) + "\n" + QString::fromStdString(error));
        return;
    }
    marev::log_event("COM" + std::to_string(port) + " linked to " + device + ".");
    Refresh();
}
