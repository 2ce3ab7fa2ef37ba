#pragma once
// libjpeg reports fatal errors through a callback that must not return; ours jumps back
// to the setjmp in the calling function with the message kept for the log. Functions that
// call setjmp hold no object with a destructor between setjmp and the libjpeg calls.

#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>
#include <jerror.h>

struct JpegError {
    jpeg_error_mgr manager;
    jmp_buf jump;
    char message[JMSG_LENGTH_MAX] = {};
    bool truncated = false; // the data ended before the picture did
    int scans = 0;
};

inline void jpegErrorExit(j_common_ptr info)
{
    auto *error = reinterpret_cast<JpegError *>(info->err);
    (*info->err->format_message)(info, error->message);
    std::longjmp(error->jump, 1);
}

// Warnings are mostly harmless, but a premature end (of the file, or of a scan's data
// before a marker) means missing rows that libjpeg would fill with grey: that picture is
// refused at once, before a small file claiming a huge size costs its full decode.
inline void jpegEmitMessage(j_common_ptr info, int level)
{
    auto *error = reinterpret_cast<JpegError *>(info->err);
    if (level < 0 && (info->err->msg_code == JWRN_JPEG_EOF || info->err->msg_code == JWRN_HIT_MARKER)) {
        error->truncated = true;
        std::snprintf(error->message, sizeof error->message, "the file ends before the picture does");
        std::longjmp(error->jump, 1);
    }
}

inline jpeg_error_mgr *jpegInstallErrors(JpegError &error)
{
    jpeg_std_error(&error.manager);
    error.manager.error_exit = jpegErrorExit;
    error.manager.emit_message = jpegEmitMessage;
    error.manager.output_message = [](j_common_ptr) {};
    return &error.manager;
}
