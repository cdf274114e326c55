#include "mail/MimeBody.h"

#include <fcntl.h>
#include <gmime/gmime.h>

#include <memory>
#include <mutex>

#include "mail/AttachmentCheck.h"
#include "mail/MessageText.h"

namespace {

constexpr size_t kMaxLineBytes = 998;

struct SUnref
{
    void operator()(void *pObject) const { g_object_unref(pObject); }
};
template<typename T> using GPtr = std::unique_ptr<T, SUnref>;

void InitGMime()
{
    static std::once_flag s_once;
    std::call_once(s_once, [] { g_mime_init(); });
}

// The file's name without its folder, as the recipient sees it.
std::string FileNameOf(const std::string &strPath)
{
    const size_t nSlash = strPath.rfind('/');
    return nSlash == std::string::npos ? strPath : strPath.substr(nSlash + 1);
}

GPtr<GMimePart> TextPart(const std::string &strText)
{
    GPtr<GMimePart> pPart(g_mime_part_new_with_type("text", "plain"));
    g_mime_object_set_content_type_parameter(GMIME_OBJECT(pPart.get()), "charset", "UTF-8");
    const bool bPlain = !HasNonAscii(strText) && !HasLongLine(strText, kMaxLineBytes);
    g_mime_part_set_content_encoding(
        pPart.get(), bPlain ? GMIME_CONTENT_ENCODING_7BIT : GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE);
    GPtr<GMimeStream> pStream(g_mime_stream_mem_new_with_buffer(strText.data(), strText.size()));
    GPtr<GMimeDataWrapper> pContent(
        g_mime_data_wrapper_new_with_stream(pStream.get(), GMIME_CONTENT_ENCODING_DEFAULT));
    g_mime_part_set_content(pPart.get(), pContent.get());
    return pPart;
}

GPtr<GMimePart> HtmlPart(const std::string &strHtml)
{
    GPtr<GMimePart> pPart(g_mime_part_new_with_type("text", "html"));
    g_mime_object_set_content_type_parameter(GMIME_OBJECT(pPart.get()), "charset", "UTF-8");
    g_mime_part_set_content_encoding(pPart.get(), GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE);
    GPtr<GMimeStream> pStream(g_mime_stream_mem_new_with_buffer(strHtml.data(), strHtml.size()));
    GPtr<GMimeDataWrapper> pContent(
        g_mime_data_wrapper_new_with_stream(pStream.get(), GMIME_CONTENT_ENCODING_DEFAULT));
    g_mime_part_set_content(pPart.get(), pContent.get());
    return pPart;
}

GPtr<GMimePart> FilePart(const SAttachment &attachment, std::string &strError)
{
    GError *pError = nullptr;
    GPtr<GMimeStream> pStream(
        g_mime_stream_fs_open(attachment.strPath.c_str(), O_RDONLY | O_CLOEXEC, 0, &pError));
    if (!pStream) {
        strError = "the attachment " + attachment.strPath + " could not be read"
            + (pError ? std::string(": ") + pError->message : std::string());
        if (pError)
            g_error_free(pError);
        return nullptr;
    }
    const std::string &strType = attachment.strContentType;
    const size_t nSlash = strType.find('/');
    GPtr<GMimePart> pPart(nSlash == std::string::npos
            ? g_mime_part_new_with_type("application", "octet-stream")
            : g_mime_part_new_with_type(
                strType.substr(0, nSlash).c_str(), strType.substr(nSlash + 1).c_str()));
    g_mime_object_set_disposition(GMIME_OBJECT(pPart.get()), GMIME_DISPOSITION_ATTACHMENT);
    g_mime_part_set_filename(pPart.get(), FileNameOf(attachment.strPath).c_str());
    g_mime_part_set_content_encoding(pPart.get(), GMIME_CONTENT_ENCODING_BASE64);
    GPtr<GMimeDataWrapper> pContent(
        g_mime_data_wrapper_new_with_stream(pStream.get(), GMIME_CONTENT_ENCODING_DEFAULT));
    g_mime_part_set_content(pPart.get(), pContent.get());
    return pPart;
}

} // namespace

std::optional<std::string> ComposeMimeBody(const std::string &strText, const std::string &strHtml,
    const std::vector<SInlineImage> &images, const std::vector<SAttachment> &attachments,
    std::string &strError)
{
    InitGMime();
    GPtr<GMimeObject> pText(GMIME_OBJECT(TextPart(strText).release()));
    if (!strHtml.empty()) {
        GPtr<GMimeObject> pHtml(GMIME_OBJECT(HtmlPart(strHtml).release()));
        if (!images.empty()) {
            GPtr<GMimeMultipart> pRelated(g_mime_multipart_new_with_subtype("related"));
            g_mime_object_set_content_type_parameter(
                GMIME_OBJECT(pRelated.get()), "type", "text/html");
            g_mime_multipart_add(pRelated.get(), pHtml.get());
            for (const SInlineImage &image : images) {
                const SAttachmentFile file = InspectAttachment(image.strPath);
                if (!file.strProblem.empty()) {
                    strError = "the picture " + image.strPath + " " + file.strProblem;
                    return std::nullopt;
                }
                GPtr<GMimePart> pPart = FilePart({image.strPath, file.strContentType}, strError);
                if (!pPart)
                    return std::nullopt;
                g_mime_object_set_disposition(GMIME_OBJECT(pPart.get()), GMIME_DISPOSITION_INLINE);
                g_mime_part_set_filename(pPart.get(), FileNameOf(image.strPath).c_str());
                g_mime_object_set_content_id(GMIME_OBJECT(pPart.get()), image.strContentId.c_str());
                g_mime_multipart_add(pRelated.get(), GMIME_OBJECT(pPart.get()));
            }
            pHtml.reset(GMIME_OBJECT(pRelated.release()));
        }
        GPtr<GMimeMultipart> pAlternative(g_mime_multipart_new_with_subtype("alternative"));
        g_mime_multipart_add(pAlternative.get(), pText.get());
        g_mime_multipart_add(pAlternative.get(), pHtml.get());
        pText.reset(GMIME_OBJECT(pAlternative.release()));
    }
    GPtr<GMimeObject> pTop;
    if (attachments.empty()) {
        pTop = std::move(pText);
    } else {
        GPtr<GMimeMultipart> pMixed(g_mime_multipart_new_with_subtype("mixed"));
        g_mime_multipart_add(pMixed.get(), pText.get());
        for (const SAttachment &attachment : attachments) {
            GPtr<GMimePart> pPart = FilePart(attachment, strError);
            if (!pPart)
                return std::nullopt;
            g_mime_multipart_add(pMixed.get(), GMIME_OBJECT(pPart.get()));
        }
        pTop.reset(GMIME_OBJECT(pMixed.release()));
    }
    std::unique_ptr<GMimeFormatOptions, void (*)(GMimeFormatOptions *)> pOptions(
        g_mime_format_options_new(), g_mime_format_options_free);
    g_mime_format_options_set_newline_format(pOptions.get(), GMIME_NEWLINE_FORMAT_DOS);
    g_mime_format_options_set_param_encoding_method(
        pOptions.get(), GMIME_PARAM_ENCODING_METHOD_RFC2231);
    GPtr<GMimeStream> pOut(g_mime_stream_mem_new());
    if (g_mime_object_write_to_stream(pTop.get(), pOptions.get(), pOut.get()) < 0) {
        strError = "an attachment could not be read while the message was made";
        return std::nullopt;
    }
    const GByteArray *pBytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(pOut.get()));
    return std::string(reinterpret_cast<const char *>(pBytes->data), pBytes->len);
}

unsigned long long Base64Size(unsigned long long nBytes)
{
    const unsigned long long nEncoded = (nBytes + 2) / 3 * 4;
    return nEncoded + (nEncoded + 75) / 76 * 2; // lines of 76 characters and CR LF
}
