#!/usr/bin/env bash
# The layer check refuses what would slip past the compiler (a widget header below ui/, an
# include that points up) and lets the real tree and a clean made-up one through.
# Arguments: the check script, the QtCore header folder, the QtSql header folder, the source tree,
# the QtNetwork header folder, the QtNetworkAuth header folder.
set -euo pipefail
check="$1"
qt_core="$2"
qt_sql="$3"
source_dir="$4"
qt_network="${5:-}"
qt_networkauth="${6:-}"
tree="$(mktemp -d)"
trap 'rm -rf "$tree"' EXIT
failures=0

run_check() {
    cmake -DSOURCE_DIR="$1" -DQT_CORE_INCLUDE_DIR="$qt_core" -DQT_SQL_INCLUDE_DIR="$qt_sql" \
        -DQT_NETWORK_INCLUDE_DIR="$qt_network" \
        -DQT_NETWORKAUTH_INCLUDE_DIR="$qt_networkauth" -P "$check" 2>&1
}

expect_pass() {
    local what="$1" dir="$2" out
    if ! out=$(run_check "$dir"); then
        echo "FAIL: $what was refused:"
        echo "$out"
        failures=$((failures + 1))
    fi
}

# Writes one file into a fresh copy of the clean tree and expects the check to name it.
expect_refused() {
    local what="$1" file="$2" line="$3" reason="$4" out
    rm -rf "$tree/case"
    cp -r "$tree/clean" "$tree/case"
    mkdir -p "$(dirname "$tree/case/$file")"
    printf '%s\n' "$line" >>"$tree/case/$file"
    if out=$(run_check "$tree/case"); then
        echo "FAIL: $what was let through"
        failures=$((failures + 1))
    elif ! grep -qF "$file: $line ($reason" <<<"$out"; then
        echo "FAIL: $what was refused without naming it:"
        echo "$out"
        failures=$((failures + 1))
    fi
}

mkdir -p "$tree/clean"/{engine,sources/access,document,mail,app,cli,ui}
printf '#include <QString>\n#include <QtCore/QList>\n#include <string>\n' >"$tree/clean/engine/Value.h"
printf '#include "engine/Value.h"\n#include <sys/socket.h>\n' >"$tree/clean/mail/Net.cpp"
printf '#include "sources/access/Table.h"\n' >"$tree/clean/document/Doc.cpp"
printf '#include <QSqlQuery>\n#include <QtSql/QSqlError>\n' >"$tree/clean/sources/access/Sql.cpp"
printf '#include <QNetworkReply>\n#include <QtNetwork/QNetworkRequest>\n' >"$tree/clean/app/Token.cpp"
printf '#include <QOAuth2AuthorizationCodeFlow>\n#include <QtNetworkAuth/QAbstractOAuth>\n' \
    >"$tree/clean/app/SignIn.cpp"
printf '#include "document/Doc.h"\n#include "mail/Net.h"\n' >"$tree/clean/cli/Line.cpp"
printf '#include <QDialog>\n#include <QtGui/QColor>\n#include "ui_Form.h"\n#include "cli/Line.h"\n' \
    >"$tree/clean/ui/Dlg.cpp"
expect_pass "a clean tree" "$tree/clean"
expect_pass "the program's own tree" "$source_dir"

expect_refused "a widget header in mail/" mail/Run.cpp '#include <QDialog>' "not Qt Core"
expect_refused "a Gui header spelled with its module" document/Doc.h '#include <QtGui/QColor>' \
    "only ui/ uses QtGui"
expect_refused "a Widgets module header in app/" app/Keys.cpp '#include <QtWidgets/QWidget>' \
    "only ui/ uses QtWidgets"
expect_refused "an SQL header outside sources/" mail/Run.cpp '#include <QSqlQuery>' "not Qt Core"
expect_refused "a Network header outside app/" mail/Run.cpp '#include <QNetworkReply>' "not Qt Core"
expect_refused "a Network module header outside app/" document/Doc.h \
    '#include <QtNetwork/QNetworkReply>' "only ui/ uses QtNetwork"
expect_refused "a Network Authorization header outside app/" cli/Line.cpp \
    '#include <QOAuth2AuthorizationCodeFlow>' "not Qt Core"
expect_refused "an SQL module header outside sources/" document/Doc.h '#include <QtSql/QSqlError>' \
    "only ui/ uses QtSql"
expect_refused "a form below ui/" cli/Line.cpp '#include "ui_Form.h"' "a Designer form"
expect_refused "the engine reaching up to mail/" engine/Data.cpp '#include "mail/Progress.h"' \
    "mail/ is above engine/"
expect_refused "the Access layer reaching up to the document" sources/access/Rs.cpp \
    '#include "document/MergixDoc.h"' "document/ is above sources/"
expect_refused "the command line reaching up to the windows" cli/Line.cpp \
    '#include "ui/MainFrame.h"' "ui/ is above cli/"

if [ "$failures" -ne 0 ]; then
    echo "$failures case(s) failed"
    exit 1
fi
echo "the layer check refuses every case and passes the clean trees"
