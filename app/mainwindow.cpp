#include "app/mainwindow.h"
#include "ui_mainwindow.h"
#include "device/receiverlink.h"
#include "installer/installationrunner.h"
#include "storage/download.h"
#include "storage/listing.h"
#include "storage/upload.h"

#include <QAbstractItemView>
#include <QCloseEvent>
#include <QHeaderView>
#include <QLocale>
#include <QTextCodec>
#include <QTime>

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
    , link(new ReceiverLink(this))
    , listing(new StorageListing(link, this))
    , download(new FileDownload(link, this))
    , upload(new FileUpload(link, this))
    , runner(new InstallationRunner(link, this))
{
    // The backup folder's digits come from this generator, as they always have.
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    qsrand(uint(QTime(0, 0).secsTo(QTime::currentTime())));
    QT_WARNING_POP

    ui->setupUi(this);
    connectFileManager();
    connectInstaller();

    ui->pushButton->hide();
    ui->pushButton_2->hide();
    ui->pushButton_3->hide();
    ui->pushButton_4->hide();
    ui->pushButton_5->hide();
    ui->pushButton_7->hide();
    ui->pushButton_8->hide();
    ui->pushButton_9->hide();
    ui->pushButton_UploadAll->hide();
    ui->pushButton_DownloadAll->hide();
    ui->tableWidget->hide();
    ui->memory->hide();
    ui->label->hide();
    ui->label_2->hide();
    ui->totalMemory->hide();
    ui->availableMemory->hide();

    on_pushButton_6_clicked();

    setWindowFlags(Qt::WindowCloseButtonHint | Qt::WindowMinMaxButtonsHint);

    ui->tableWidget->setColumnCount(3);
    // The style's minimum section size would widen the icon column past 28.
    ui->tableWidget->horizontalHeader()->setMinimumSectionSize(16);
    ui->tableWidget->setColumnWidth(0, 28);
    ui->tableWidget->setColumnWidth(1, 230);
    ui->tableWidget->setColumnWidth(2, 77);
    ui->tableWidget->setSelectionBehavior(QAbstractItemView::SelectRows);

    ui->comboBox_2->addItem("ili9341");
    ui->comboBox_2->addItem("st7789");
    ui->comboBox_2->addItem("ili9488");
    ui->comboBox_2->addItem("st7796");

    // The change logs are UTF-8; the language handler below already reads one.
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));

    ui->comboBox_language->addItem("English");
    ui->comboBox_language->addItem("Русский");
    ui->comboBox_language->addItem("Italiano");
    ui->comboBox_language->addItem("Cesky");
    ui->comboBox_language->addItem("Deutsch");
    ui->comboBox_language->addItem("Francais");
    ui->comboBox_language->addItem("Polski");
    ui->comboBox_language->addItem("Portugues");
    ui->comboBox_language->addItem("Romana");
    ui->comboBox_language->addItem("Espanol");

    if (QLocale::system().name() == "ru_RU")
        ui->comboBox_language->setCurrentIndex(1);
}

MainWindow::~MainWindow()
{
    delete openQuestion;
    delete ui;
}

void MainWindow::setTimings(const InstallTimings &shorter)
{
    runner->setTimings(shorter);
}

void MainWindow::setPortLister(const std::function<QVector<SeenPort>()> &lister)
{
    runner->setPortLister(lister);
}

// A close can't wait for an event: the installation is asked at once.
void MainWindow::closeEvent(QCloseEvent *event)
{
    const QString question = runner->questionBeforeClosing();
    if (!question.isEmpty() && !confirm(question)) {
        event->ignore();
        return;
    }
    // The script may have ended while the question was open.
    runner->stopFlashing();
    delete openQuestion;
    event->accept();
}

void MainWindow::log(const QString &line)
{
    ui->textBrowser->append(line);
}

// Progress repeats the same percentage for many chunks: a text that is
// already shown is not shown again, so the status bar repaints only when
// what it shows changes.
void MainWindow::showStatus(const QString &text)
{
    if (text != ui->statusbar->currentMessage())
        ui->statusbar->showMessage(text);
}
