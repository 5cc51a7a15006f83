#include "PxToolCommon.h"

#include <QApplication>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "data/UnitDataSetIO.h"
#include "data/UnitDataSetIOOld.h"
#include "platform/core/Streams.h"

namespace px::pxtool {

QApplication& guiApplication() {
  qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtFatalMsg) std::fputs(message.toLocal8Bit().constData(), stderr);
  });
  static int argc = 1;
  static char name[] = "pxtool";
  static char* argv[] = {name, nullptr};
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // Kept until the process ends and never destroyed: destroying it tears
  // down Qt's font database, which loads the whole fontconfig configuration
  // first when nothing has used it yet (a page without text), only to free
  // it again. That cost several times the work of drawing such a page. The
  // commands have written and closed their output before they return.
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

IMemDataSet loadDatasetFile(const std::string& file, const std::string& key) {
  TFileStream stream(file, fmOpenRead | fmShareDenyWrite);
  Byte head[5] = {};
  const Int64 n = stream.Read(head, sizeof head);
  stream.SetPosition(0);
  static const Byte newMagic[5] = {0xC0, 0xE0, 0x80, 0x81, 0x01};
  IMemDataSet table;
  if (key.empty() && n == 5 && std::equal(head, head + 5, newMagic))
    LoadMemDataSetFromStream(&stream, 0, nullptr, table);
  else
    LoadDataSetFromStream(stream, key, table);
  return table;
}

}  // namespace px::pxtool
