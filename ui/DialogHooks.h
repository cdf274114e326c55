#pragma once

#include <string>

#include "ui/MainFrame.h"

class QInputDialog;
class QString;
class QWidget;

// The dialogs the program plugs into the frame and the document: the start-up choice, the
// file-open dialog of the start-up choice, and the test-merge information and results dialogs.
// The wizard, Choose Recipients and the insertion dialogs join them as they are built.
CMainFrame::SHooks FrameDialogHooks(CMainFrame &frame);
SDocumentHooks DocumentDialogHooks(CMainFrame &frame);

// The file the failed list of a send is saved in, asked for; empty when cancelled.
QString ChooseFailedListPath(QWidget *pParent);

// The password question of Send Mail: the prompt, and an edit that hides what is typed.
void SetUpPasswordDialog(QInputDialog &dlg, const std::string &strPrompt);
