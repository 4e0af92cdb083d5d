// The process-wide TLS context from which every TLS connection of
// vexa_tcp_socket is made, and its configuration: the cipher list text that
// the context and each connection use, optional certificate, key and chain
// files for a server role, a set-up hook, and temporary Diffie-Hellman
// parameters handed to the TLS library on request.
//
// The launcher calls vexa_ssl_startup once on the main thread before any
// other thread exists and sets nothing else, so its context has the default
// cipher list, the Diffie-Hellman callback, no certificates and no peer
// verification. Configuration calls take effect at the next init_ssl; a
// cipher selection also applies to every later connection.
#ifndef QV_NET_SSL_CONTEXT_H
#define QV_NET_SSL_CONTEXT_H

#include <openssl/ssl.h>

// Longest certificate, key or chain file name kept; longer names are cut.
enum { SSL_FILE_NAME_MAX_CHARS = 511 };

// Ignores SIGPIPE for the whole process (writes to a closed connection then
// fail with a code) and runs init_ssl. 1 when the context is ready; 0 after
// "Boot failed, SSL startup is broken." (when log_level is above 0).
int vexa_ssl_startup();

// Starts the TLS library and creates and configures the process-wide
// context. 1 on success; 0 after a report (report_ssl_failure). A context
// that was created stays in use when a later step fails. Running it again
// replaces the context; connections made from the old one keep working.
int init_ssl();

// The process-wide context, null before init_ssl (or when it could not be
// created).
SSL_CTX *ssl_get_context();

// File names for the next init_ssl; at most SSL_FILE_NAME_MAX_CHARS are
// kept, null means none. Key: PEM RSA private key; certificate: PEM
// certificate; chain: PEM file of trusted certificates (verify locations).
void ssl_set_private_key_file(const char *name);
void ssl_set_certificate_file(const char *name);
void ssl_set_chain_file(const char *name);
// Puts a copy of name in front of the further verify-location files, which
// are loaded only when a chain file is set. Null is ignored.
void ssl_add_extra_chain_file(const char *name);
// Forgets every extra chain file (frees the copies).
void ssl_clear_extra_chain_files();
// A function called while init_ssl configures the context (after the cipher
// list, before the Diffie-Hellman callback and files); null for none. It may
// adjust the context through ssl_get_context().
void ssl_set_context_hook(void (*hook)());

// Cipher list selection: "HIGH:@STRENGTH:!aNULL" (the default),
// "HIGH:@STRENGTH", or "aNULL:HIGH:@STRENGTH" (anonymous suites first).
void ssl_use_default_ciphers();
void ssl_use_high_ciphers();
void ssl_allow_anonymous_ciphers();
// The current cipher list text.
const char *ssl_get_cipher_list();

// The context's temporary Diffie-Hellman callback: the cached parameter set
// (generator 2) for 512, 768, 1024, 1536, 2048, 3072 or 4096 bits, built on
// first use and kept for the rest of the process; null for other lengths
// (reported) or when the set could not be built. Lengths below 1024 are
// served with a warning.
DH *get_tmp_dh_callback(SSL *ssl, int is_export, int key_length);

// Reports message (class 1) and, as a second line, the earliest queued error
// of the TLS library.
void report_ssl_failure(const char *message);

#endif
