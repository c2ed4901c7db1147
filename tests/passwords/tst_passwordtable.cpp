#include "passwords/CustomSortFilterProxyModel.h"
#include "passwords/PasswordCellDelegate.h"

#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QtTest>

// The filter proxy's column and id-list rules, the search-field box and the cell buttons.
class TestPasswordTable : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void filter_data();
    void filter();
    void buttonReportsValueAndActivatePressesLast();

private:
    QStringList acceptedIds() const;
    QStandardItemModel *m_model = nullptr;
    CustomSortFilterProxyModel *m_proxy = nullptr;
};

void TestPasswordTable::init()
{
    m_model = new QStandardItemModel(this);
    // id, title, user, url, comment
    const QList<QStringList> rows{{"1", "Mail", "demo@example.org", "https://mail.example.org", "Personal"},
                                  {"2", "Bank", "DE-4711", "https://bank.example.com", ""},
                                  {"3", "wifi", "", "", "router in the hall"},
                                  {"4", "Shop", "demo", "https://shop.example.net", "same as mail"},
                                  {"12", "Forum", "x", "", ""},
                                  {"34", "Chat", "y", "", ""}};
    for (const QStringList &r : rows) {
        QList<QStandardItem *> items{new QStandardItem(r[1]), new QStandardItem(r[2]), new QStandardItem("******"),
                                     new QStandardItem(r[3]), new QStandardItem(r[4])};
        items[0]->setData(r[0], Qt::UserRole);
        items[2]->setData(r[0], Qt::UserRole);
        m_model->appendRow(items);
    }
    m_proxy = new CustomSortFilterProxyModel(this);
    m_proxy->setSourceModel(m_model);
    m_proxy->setFilterCaseSensitivity(Qt::CaseInsensitive);
}

void TestPasswordTable::cleanup()
{
    delete m_proxy;
    delete m_model;
}

QStringList TestPasswordTable::acceptedIds() const
{
    QStringList ids;
    for (int row = 0; row < m_proxy->rowCount(); ++row) {
        ids << m_proxy->index(row, 0).data(Qt::UserRole).toString();
    }
    return ids;
}

void TestPasswordTable::filter_data()
{
    QTest::addColumn<QList<int>>("columns");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QStringList>("ids");
    const QList<int> all{0, 1, 3, 4};
    const QStringList every{"1", "2", "3", "4", "12", "34"};
    QTest::newRow("no columns pass everything") << QList<int>{} << "wildcard" << "zzz" << every;
    QTest::newRow("all fields, user name") << all << "wildcard" << "demo" << QStringList{"1", "4"};
    QTest::newRow("all fields, comment") << all << "wildcard" << "HALL" << QStringList{"3"};
    QTest::newRow("all fields never the masked password") << all << "fixed" << "*" << QStringList{};
    QTest::newRow("title only") << QList<int>{0} << "wildcard" << "demo" << QStringList{};
    QTest::newRow("web address only") << QList<int>{3} << "wildcard" << "example.com" << QStringList{"2"};
    QTest::newRow("ids 12 and 34") << QList<int>{2} << "fixed" << "12;34" << QStringList{"12", "34"};
    QTest::newRow("id 1 is not 12") << QList<int>{2} << "fixed" << "1" << QStringList{"1"};
    QTest::newRow("no id") << QList<int>{2} << "regexp" << "-1" << QStringList{};
    QTest::newRow("empty id list") << QList<int>{2} << "fixed" << "" << every;
}

void TestPasswordTable::filter()
{
    QFETCH(QList<int>, columns);
    QFETCH(QString, kind);
    QFETCH(QString, pattern);
    QFETCH(QStringList, ids);
    m_proxy->setFilterColumns(columns);
    if (kind == "wildcard") {
        m_proxy->setFilterWildcard(pattern);
    } else if (kind == "fixed") {
        m_proxy->setFilterFixedString(pattern);
    } else {
        m_proxy->setFilterRegExp(pattern);
    }
    QCOMPARE(acceptedIds(), ids);
}

void TestPasswordTable::buttonReportsValueAndActivatePressesLast()
{
    QTableView view;
    view.setModel(m_model);
    PasswordCellDelegate delegate(&view, PasswordCellDelegate::EditTitle);
    QSignalSpy selected(&delegate, &PasswordCellDelegate::selected);
    QPixmap canvas(200, 40);
    QPainter painter(&canvas);
    QStyleOptionViewItem option;
    option.rect = QRect(0, 0, 200, 40);
    option.state = QStyle::State_MouseOver;

    delegate.paint(&painter, option, m_model->index(0, 0));
    delegate.paint(&painter, option, m_model->index(1, 0));
    // The button keeps the value it was made with.
    m_model->setData(m_model->index(1, 0), "99", Qt::UserRole);
    emit delegate.activate();
    QCOMPARE(selected.count(), 1);
    QCOMPARE(selected.at(0).at(1).toString(), QString("2"));

    view.indexWidget(m_model->index(0, 0))->findChild<QPushButton *>()->click();
    QCOMPARE(selected.count(), 2);
    QCOMPARE(selected.at(1).at(1).toString(), QString("1"));
}

QTEST_MAIN(TestPasswordTable)
#include "tst_passwordtable.moc"
