// One statement that writes a long Vemor log for tests and benchmarks: `rows` records of device
// `fid` from 2007-01-01 on, ten seconds apart (8640 a day), flags and voltage varying with the
// record's number x (FVemorOn x % 2, FBtn1 always, FBtn3 x % 3 = 0, FEngine and FUn always,
// FU 370 + x % 20, FmilSec (x % 50) * 20).
#pragma once

#include <QString>

inline QString BigLogSql(int fid, int rows)
{
    return QStringLiteral(
               "with recursive n(x) as (select 0 union all select x + 1 from n where x < %2) "
               "insert into vprotokol (fid, fdate, ftime, fvemoron, fselfon, fbtn1, fbtn2, fbtn3, fbtn4, fengine, frazr,"
               " fun, fuk, fu, fmilsec) "
               "select %1, date('2007-01-01', '+' || (x / 8640) || ' days'), time((x % 8640) * 10, 'unixepoch'),"
               " x % 2, 0, 1, 0, x % 3 = 0, 0, 1, 0, 1, 0, 370 + x % 20, (x % 50) * 20 from n")
        .arg(fid)
        .arg(rows - 1);
}
