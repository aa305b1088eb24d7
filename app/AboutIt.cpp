#include "app/AboutIt.h"

#include <QLabel>
#include <QPushButton>

#include "app/Captions.h"
#include "app/TabIcons.h"
#include "app/WebLinks.h"
#include "imaging/Version.h"
#include "platform/ErrorReport.h"
#include "platform/Shell.h"

namespace tessaron {

TAbata::TAbata(QWidget* parent) : TDialogShell("Abata", "О программе", QSize(345, 167), parent) {
    auto* picture = new QLabel(this);
    picture->setPixmap(browseTabIcon().pixmap(QSize(48, 48)));
    picture->setGeometry(16, 16, 48, 48);

    auto* name = new QLabel(captions::ProgramName, this);
    QFont big = name->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    name->setFont(big);
    name->setGeometry(80, 12, 250, 30);

    Version = new QLabel(QStringLiteral("Версия %1").arg(QString::fromStdString(versionString())), this);
    Version->setObjectName("Version");
    Version->setGeometry(80, 42, 250, 20);

    auto* about = new QLabel("Просмотр, редактирование и пакетная обработка фотографий", this);
    about->setWordWrap(true);
    about->setGeometry(80, 64, 250, 36);

    const QString mail = links::SupportMail;
    MailLink = new QLabel(QStringLiteral("Поддержка: <a href=\"mailto:%1\">%1</a>").arg(mail), this);
    MailLink->setObjectName("MailLink");
    MailLink->setTextFormat(Qt::RichText);
    MailLink->setGeometry(16, 104, 315, 20);
    connect(MailLink, &QLabel::linkActivated, this, guarded([](const QString& link) { shell().open(link); }));

    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("OkButton");
    ok->setDefault(true);
    ok->setGeometry(345 - 16 - 88, 167 - 12 - 28, 88, 28);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace tessaron
