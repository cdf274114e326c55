#pragma once

#include <string>
#include <vector>

#include "document/MessageExtras.h"

// The controls that hold a merge's live settings: the header bar (From, the To field list,
// Subject, Reply-To, Cc, Bcc, the attachments) and the message editor. The document copies its
// stored settings into them after a merge is created or opened, and back just before it is saved.
class CDocumentControls
{
public:
    virtual ~CDocumentControls() = default;

    // Replaces the items of the To list (which keeps them sorted) and selects none.
    virtual void SetToFieldList(const std::vector<std::string> &names) = 0;
    // Selects the item equal to the text, ignoring letter case; no item when none matches.
    virtual void SelectToField(const std::string &strName) = 0;
    // The text of the selected item; empty when none is selected.
    virtual std::string SelectedToField() const = 0;

    virtual std::string From() const = 0;
    virtual void SetFrom(const std::string &strText) = 0;
    virtual std::string Subject() const = 0;
    virtual void SetSubject(const std::string &strText) = 0;
    virtual std::string ReplyTo() const = 0;
    virtual void SetReplyTo(const std::string &strText) = 0;
    // The editor's whole text as plain text with CR LF line breaks.
    virtual std::string Body() const = 0;
    virtual void SetBody(const std::string &strText) = 0;
    // The editor's formatted text as HTML, empty while the message is plain; setting it (after
    // SetBody) shows it formatted, setting it empty leaves the plain text.
    virtual std::string FormattedBody() const = 0;
    virtual void SetFormattedBody(const std::string &strHtml) = 0;
    // Cc and Bcc (header bar) and the attachment list (its Attachments dialog).
    virtual SMessageExtras Extras() const = 0;
    virtual void SetExtras(const SMessageExtras &extras) = 0;
};
