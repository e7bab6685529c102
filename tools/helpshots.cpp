// Takes the help pages' screenshots from the real windows, in each language, over a sample address
// book of its own in a temporary folder. Run by tools/help-screenshots.sh under Xvfb, which then
// makes the pictures small.
#include <QApplication>
#include <QBuffer>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QImage>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPainter>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QWidget>

#include <cstdio>
#include <cstring>

#include "access/frmLogin.h"
#include "access/frmNewUser.h"
#include "access/frmUsers.h"
#include "core/AppState.h"
#include "core/Errors.h"
#include "dialogs/frmOptions.h"
#include "dialogs/frmSync.h"
#include "editors/frmPWD.h"
#include "editors/frmPWDType.h"
#include "exchange/ContactExchange.h"
#include "main/frmMain.h"
#include "store/Connection.h"
#include "store/ContactDetails.h"
#include "store/Database.h"
#include "ui/Colours.h"
#include "ui/Forms.h"

namespace {

struct Sample
{
    const char* folder;   // help folder and language file suffix
    const char* user;     // the account shown in the status bar and the login
    const char* types[3]; // the first is the type shown in the main window
    const char* descriptions[3];
    const char* people[6][2]; // name, type index
    // The first contact's details: street, city, region, postal code, country, organisation,
    // department, job title, nickname, note.
    const char* card[10];
};

const Sample Samples[] = {
    {"eng",
     "anna",
     {"Friends", "Family", "Work"},
     {"People we see often", "Parents, brothers and sisters", "Colleagues and customers"},
     {{"Anna Berg", "0"},
      {"David Chen", "0"},
      {"Emma Fischer", "0"},
      {"Lucas Moreau", "0"},
      {"Sofia Rossi", "1"},
      {"Tom Walker", "2"}},
     {"12 Elm Street", "Springfield", "IL", "62701", "USA", "Acme Books", "Sales", "Account manager", "Annie",
      "Met at the book fair.\nPrefers calls after 10 am."}},
    {"chs",
     "张伟",
     {"朋友", "家人", "同事"},
     {"经常见面的朋友", "父母和兄弟姐妹", "同事和客户"},
     {{"王芳", "0"}, {"李娜", "0"}, {"刘洋", "0"}, {"陈静", "0"}, {"张秀英", "1"}, {"赵磊", "2"}},
     {"中关村大街 27 号", "北京", "北京市", "100080", "中国", "新华书店", "销售部", "客户经理", "小芳",
      "在书展上认识。\n上午十点以后方便接电话。"}},
    {"cht",
     "陳志明",
     {"朋友", "家人", "同事"},
     {"常常見面的朋友", "父母和兄弟姊妹", "同事和客戶"},
     {{"林怡君", "0"}, {"黃淑芬", "0"}, {"張家豪", "0"}, {"李建宏", "0"}, {"陳美玲", "1"}, {"王俊傑", "2"}},
     {"忠孝東路四段 100 號", "台北市", "大安區", "106", "台灣", "誠品書店", "業務部", "客戶經理", "小君",
      "在書展上認識。\n上午十點以後方便接電話。"}},
};

void Settle()
{
    for (int i = 0; i < 5; ++i) {
        QApplication::processEvents();
    }
}

bool Save(QWidget* window, const QString& file)
{
    window->show();
    window->raise();
    window->activateWindow();
    Settle();
    if (!window->grab().save(file)) {
        std::fprintf(stderr, "helpshots: cannot write %s\n", qPrintable(file));
        return false;
    }
    std::printf("helpshots: %s\n", qPrintable(file));
    return true;
}

template <class T> bool SaveForm(const QString& file)
{
    const bool saved = Save(&Form<T>(), file);
    FormInstance<T>::Unload();
    Settle();
    return saved;
}

// A round picture with the person's initial, as a contact's photo.
QByteArray Avatar(const QString& name)
{
    QImage image(192, 192, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(0x3a, 0x7c, 0xa5));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(image.rect());
    QFont font = painter.font();
    font.setPixelSize(96);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(image.rect(), Qt::AlignCenter, name.left(1));
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

void FillBook(const Sample& sample)
{
    // The types first, with the descriptions the type editor and the list of types show.
    for (int i = 0; i < 3; ++i) {
        InsertType(Conn, QString::fromUtf8(sample.types[i]), QString::fromUtf8(sample.descriptions[i]));
    }
    ContactFile file;
    for (const auto& [name, type] : sample.people) {
        ContactCard card;
        card.name = QString::fromUtf8(name);
        card.category = QString::fromUtf8(sample.types[QByteArray(type).toInt()]);
        const int n = static_cast<int>(file.cards.size());
        card.homePhone = QStringLiteral("010-6234 56%1").arg(10 + n);
        card.mobilePhone = QStringLiteral("138 0013 80%1").arg(20 + n);
        if (n % 2 == 1) {
            card.workPhone = QStringLiteral("021-5888 90%1").arg(30 + n);
        }
        card.emails = QString::fromUtf8(name).contains(u' ')
                          ? QString::fromUtf8(name).section(u' ', 0, 0).toLower() + QStringLiteral("@example.org")
                          : QStringLiteral("user%1@example.org").arg(n + 1);
        card.qq = QString::number(12345670 + n);
        file.cards.append(card);
    }
    file.cards[0].url = QStringLiteral("https://www.example.org");
    ExecuteImport(Conn, PlanImport(Conn, file, QString::fromUtf8(sample.types[0])));

    ContactDetails d;
    PostalAddress address;
    address.type = QStringLiteral("home");
    address.street = QString::fromUtf8(sample.card[0]);
    address.locality = QString::fromUtf8(sample.card[1]);
    address.region = QString::fromUtf8(sample.card[2]);
    address.postalCode = QString::fromUtf8(sample.card[3]);
    address.country = QString::fromUtf8(sample.card[4]);
    d.addresses = {address};
    d.organisation = QString::fromUtf8(sample.card[5]);
    d.department = QString::fromUtf8(sample.card[6]);
    d.title = QString::fromUtf8(sample.card[7]);
    d.nicknames = {QString::fromUtf8(sample.card[8])};
    d.note = QString::fromUtf8(sample.card[9]);
    d.birthday = {0, 4, 12};
    d.phones = {{QStringLiteral("fax"), QStringLiteral("010-6234 5699")}};
    d.messengers = {{QStringLiteral("xmpp"), QStringLiteral("contact@jabber.example.org")}};
    d.urls = {{QStringLiteral("work"), QStringLiteral("https://example.org")}};
    d.photo = Avatar(file.cards[0].name);
    WriteContactDetails(Conn, 1, d);
}

bool Shoot(const Sample& sample, const QString& sourceDir, const QString& outputDir)
{
    QTemporaryDir dir;
    const QString program = dir.path() + QLatin1Char('/');
    QDir(program).mkpath(QStringLiteral("Datas"));
    QDir(program).mkpath(QStringLiteral("Language"));
    for (const char* name : {"mvleng.ini", "mvlchs.ini", "mvlcht.ini"}) {
        QFile::copy(sourceDir + QStringLiteral("/resources/Language/") + QLatin1String(name),
                    program + QStringLiteral("Language/") + QLatin1String(name));
    }
    CreateDatabase(program + QStringLiteral("Datas/address.mdb"));
    AppFolder = program;
    IniFile = program + QStringLiteral("Tavoren.ini");
    LangFile = program + QStringLiteral("Language/mvl") + QLatin1String(sample.folder) + QStringLiteral(".ini");
    SoundEnabled = false;
    LoginEnabled = true;
    CurrentUser = QString::fromUtf8(sample.user);
    Conn.Open(BuildConnectionString(AppFolder));
    FillBook(sample);

    const QString shots = outputDir + QLatin1Char('/') + QLatin1String(sample.folder) + QStringLiteral("/shots/");
    QDir().mkpath(shots);
    bool ok = true;

    frmMain& main = Form<frmMain>();
    main.resize(980, 560);
    main.move(40, 40);
    main.LoadTreeData(QStringLiteral("_1")); // the columns fit what they show
    // The first contact selected, its details in the pane.
    const QModelIndex first = main.ListModel()->index(main.ListModel()->RowOf(1), 0);
    main.ListView1->selectionModel()->setCurrentIndex(first,
                                                      QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    ok &= Save(&main, shots + QStringLiteral("main.png"));

    frmPWD& record = Form<frmPWD>();
    record.SetEditMode(true);
    record.SetPWDID(1);
    ok &= Save(&record, shots + QStringLiteral("contact.png"));
    // The details tab, tall enough to show the photo, the dates, the work and the first lines.
    record.findChild<QTabWidget*>(QStringLiteral("tabs"))->setCurrentIndex(1);
    record.resize(record.width(), record.height() * 3 / 2);
    ok &= Save(&record, shots + QStringLiteral("contact-details.png"));
    FormInstance<frmPWD>::Unload();

    frmPWDType& type = Form<frmPWDType>();
    type.SetEditMode(true);
    type.SetTypeNo(1);
    ok &= Save(&type, shots + QStringLiteral("type.png"));
    FormInstance<frmPWDType>::Unload();

    ok &= SaveForm<frmLogin>(shots + QStringLiteral("login.png"));
    ok &= SaveForm<frmUsers>(shots + QStringLiteral("users.png"));
    ok &= SaveForm<frmOptions>(shots + QStringLiteral("options.png"));
    ok &= SaveForm<frmSync>(shots + QStringLiteral("sync.png"));
    CurrentUser.clear();
    ok &= SaveForm<frmNewUser>(shots + QStringLiteral("newuser.png"));

    main.close();
    Settle();
    Conn.Close();
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 3 && !(argc == 4 && std::strcmp(argv[3], "dark") == 0)) {
        std::fprintf(stderr, "usage: helpshots <source folder> <help folder to write into> [dark]\n");
        return 2;
    }
    if (argc == 4) {
        QApplication::setPalette(DarkDesktopPalette());
    }
    const QString sourceDir = QString::fromLocal8Bit(argv[1]);
    const QString outputDir = QString::fromLocal8Bit(argv[2]);
    try {
        for (const Sample& sample : Samples) {
            if (!Shoot(sample, sourceDir, outputDir)) {
                return 1;
            }
        }
    } catch (const AppError& e) {
        std::fprintf(stderr, "helpshots: %s (%d)\n", qPrintable(e.Description()), e.Number());
        return 1;
    }
    return 0;
}
