#include "cli/ConsolePrompter.h"

#include <cstdio>
#include <string_view>

#include "engine/PrintableText.h"

void CConsolePrompter::Print(const std::string &strText)
{
    std::string strOut = "mergix: ";
    for (size_t i = 0; i < strText.size(); ++i) {
        if (strText.compare(i, 2, "\r\n") == 0 || strText[i] == '\n') {
            i += strText[i] == '\r' ? 1 : 0;
            strOut += "\nmergix: ";
        } else {
            size_t nEnd = i;
            while (nEnd < strText.size() && strText[nEnd] != '\n'
                && strText.compare(nEnd, 2, "\r\n") != 0)
                ++nEnd;
            strOut += PrintableText(std::string_view(strText).substr(i, nEnd - i));
            i = nEnd - 1;
        }
    }
    std::fprintf(stderr, "%s\n", strOut.c_str());
}
