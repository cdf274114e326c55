#pragma once

class QPrinter;
class QTextDocument;
#include <string>

// Prints the message as the editor shows it.
void PrintMessage(const QTextDocument *pDocument, QPrinter &printer);
// Prints a plain-text message (CR LF line breaks) in the editor's default font.
void PrintMessage(const std::string &strBody, QPrinter &printer);

// mergix --print FILE.mgx: prints the merge's message on the default printer (or the printer
// given) without a window; the exit status of the program.
int PrintMergeFile(const std::string &strPath, QPrinter *pPrinter = nullptr);
