#include "ErrorDisplay.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <cstdio>
#include <exception>

#include "IdException.h"

void TMessageBoxErrorDisplay::ShowError(const std::string& AText) {
  QMessageBox::critical(QApplication::activeWindow(), QStringLiteral("Tessiva"),
                        QString::fromStdString(AText));
}

void TStderrErrorDisplay::ShowError(const std::string& AText) {
  std::fprintf(stderr, "%s\n", AText.c_str());
  std::fflush(stderr);
}

void THeldErrorDisplay::ShowError(const std::string& AText) {
  if (FHolding)
    FHeld.push_back(AText);
  else
    FTarget.ShowError(AText);
}

void THeldErrorDisplay::Release() {
  FHolding = false;
  for (const std::string& text : FHeld) FTarget.ShowError(text);
  FHeld.clear();
}

void ShowCurrentException(IErrorDisplay& AErrors) {
  try {
    throw;
  } catch (const EAbort&) {
  } catch (const EIdSilentException&) {
  } catch (const std::exception& e) {
    AErrors.ShowError(e.what());
  } catch (...) {
    AErrors.ShowError("Unknown error");
  }
}
