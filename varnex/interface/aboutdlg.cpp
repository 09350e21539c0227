#include "varnex/interface/aboutdlg.h"
#include "ui_aboutdlg.h"

#include <QDebug>
#include <QIcon>
#include <QPixmap>

AboutDlg::AboutDlg(QWidget* parent) : QDialog(parent), form(new Ui::AboutDlg)
{
    form->setupUi(this);
    setWindowIcon(QIcon(QStringLiteral(":/icons/main-icon")));
    setWindowTitle(tr("О программе"));
    form->label_ico->setPixmap(QPixmap(QStringLiteral(":/icons/main-icon")));
    // The trailing spaces keep the text column wide enough for the link.
    const QString pad(38, QLatin1Char(' '));
    form->label_text->setText(tr("Варнекс - биометрический хранитель секретов.") + pad + QLatin1Char('\n')
                              + QLatin1Char('\n') + tr("Лаборатория биометрии проекта «Варнекс»") + pad
                              + QLatin1Char('\n') + tr("Сообщество разработчиков Varnex"));
    form->label_url->setText(tr("<a href=\"https://varnex.example.org/\">https://varnex.example.org/</a>"));
    form->label_url->setOpenExternalLinks(true);
}

AboutDlg::~AboutDlg()
{
    qDebug() << "AboutDlg::~AboutDlg()";
    delete form;
}
