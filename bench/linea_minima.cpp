// SPDX-License-Identifier: GPL-3.0-or-later
// The floor for the command line: a program that links Qt Core and Qt SQL alone.
// Without arguments it makes its QCoreApplication and prints a version line, as
// `telquin --version` does; with a SQLite file and a statement it also opens the file
// through QSQLITE, runs the statement and prints the first column of each row, as a
// one-row `telquin lote` looks its row up.
//   telquin_linea_minima [FILE SQL]

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <cstdio>

namespace {

int consultar(const QString &archivo, const QString &sql)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
    db.setDatabaseName(archivo);
    if (!db.open())
        return 3;
    QSqlQuery q(db);
    if (!q.exec(sql))
        return 3;
    while (q.next())
        std::printf("%s\n", q.value(0).toString().toUtf8().constData());
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::puts("telquin_linea_minima 1.0");
        return argc == 1 ? 0 : 2;
    }
    const QStringList argumentos = QCoreApplication::arguments();
    return consultar(argumentos[1], argumentos[2]);
}
