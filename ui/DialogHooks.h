#pragma once

#include "ui/MainFrame.h"

// The dialogs the program plugs into the frame and the document: the start-up choice, the
// file-open dialog of the start-up choice, and the test-merge information and results dialogs.
// The wizard, Choose Recipients and the insertion dialogs join them as they are built.
CMainFrame::SHooks FrameDialogHooks(CMainFrame &frame);
SDocumentHooks DocumentDialogHooks(CMainFrame &frame);
