// slicery-icons: writes the icon at 16 and 32 pixels as PNG files laid out
// for an icon theme (OUTDIR/16x16/apps/slicery.png, OUTDIR/32x32/...).
#include <QDir>
#include <QString>
#include <cstdio>

#include "icon.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: slicery-icons OUTDIR\n");
    return 2;
  }
  const QString root = QString::fromLocal8Bit(argv[1]);
  for (int size : {16, 32}) {
    const QString folder = QStringLiteral("%1/%2x%2/apps").arg(root).arg(size);
    const QString file = folder + QStringLiteral("/slicery.png");
    if (!QDir().mkpath(folder) || !slicery::qt::paintIcon(size).save(file, "PNG")) {
      std::fprintf(stderr, "slicery-icons: cannot write %s\n", qPrintable(file));
      return 1;
    }
  }
  return 0;
}
