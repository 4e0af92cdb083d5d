// The process-wide TLS context and its configuration (see ssl_context.h).
#include "net/ssl_context.h"

#include <openssl/bn.h>
#include <openssl/dh.h>
#include <openssl/err.h>
#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "net/dh_primes.h"
#include "runtime/log.h"
#include "runtime/text_buffer.h"

// The Diffie-Hellman parameter interface and the RSA key loader are
// deprecated in the TLS library but still do what this context needs; the
// warnings are silenced around those calls only.
#define QV_BEGIN_DEPRECATED_OPENSSL _Pragma("GCC diagnostic push") \
    _Pragma("GCC diagnostic ignored \"-Wdeprecated-declarations\"")
#define QV_END_DEPRECATED_OPENSSL _Pragma("GCC diagnostic pop")

namespace {

const char default_ciphers[] = "HIGH:@STRENGTH:!aNULL";
const char high_ciphers[] = "HIGH:@STRENGTH";
const char anonymous_ciphers[] = "aNULL:HIGH:@STRENGTH";

// Size of the buffers in which failure messages with a file name are
// formatted.
const int failure_message_size = 1024;
// ERR_error_string needs at least this much room.
const int tls_error_text_size = 256;

struct extra_chain_file {
    char *name;
    extra_chain_file *next;
};

SSL_CTX *the_context = nullptr;
const char *current_ciphers = default_ciphers;
char private_key_file[SSL_FILE_NAME_MAX_CHARS + 1];
char certificate_file[SSL_FILE_NAME_MAX_CHARS + 1];
char chain_file[SSL_FILE_NAME_MAX_CHARS + 1];
extra_chain_file *extra_chain_files = nullptr; // newest first
void (*context_hook)() = nullptr;

struct dh_group {
    int bits;
    const unsigned char *prime;
    int prime_bytes;
    DH *cached; // built on first use, never freed
};

dh_group dh_groups[] = {
    {512, dh_prime_512, (int)sizeof dh_prime_512, nullptr},
    {768, dh_prime_768, (int)sizeof dh_prime_768, nullptr},
    {1024, dh_prime_1024, (int)sizeof dh_prime_1024, nullptr},
    {1536, dh_prime_1536, (int)sizeof dh_prime_1536, nullptr},
    {2048, dh_prime_2048, (int)sizeof dh_prime_2048, nullptr},
    {3072, dh_prime_3072, (int)sizeof dh_prime_3072, nullptr},
    {4096, dh_prime_4096, (int)sizeof dh_prime_4096, nullptr},
};
// Handshakes on several threads may ask for the same set at once.
pthread_mutex_t dh_mutex = PTHREAD_MUTEX_INITIALIZER;

// Keys below this length are served with a warning.
const int short_key_bits = 1024;

void copy_file_name(char *slot, const char *name)
{
    slot[0] = 0;
    if (name) {
        strncpy(slot, name, SSL_FILE_NAME_MAX_CHARS);
        slot[SSL_FILE_NAME_MAX_CHARS] = 0;
    }
}

// report_ssl_failure with the message formatted around a file name.
void report_file_failure(const char *format, const char *file)
{
    char message[failure_message_size];
    snprintf(message, sizeof message, format, file);
    report_ssl_failure(message);
}

DH *build_dh(const dh_group &group)
{
    QV_BEGIN_DEPRECATED_OPENSSL
    DH *dh = DH_new();
    if (!dh)
        return nullptr;
    BIGNUM *p = BN_bin2bn(group.prime, group.prime_bytes, nullptr);
    BIGNUM *g = BN_bin2bn(dh_generator, (int)sizeof dh_generator, nullptr);
    if (!p || !g || !DH_set0_pqg(dh, p, nullptr, g)) {
        BN_free(p);
        BN_free(g);
        DH_free(dh);
        return nullptr;
    }
    QV_END_DEPRECATED_OPENSSL
    return dh;
}

} // namespace

void report_ssl_failure(const char *message)
{
    log_report(message, LOG_CLASS_RESOURCE, LOG_MODULE_TLS);
    char text[tls_error_text_size];
    ERR_error_string_n(ERR_get_error(), text, sizeof text);
    log_report(text, LOG_CLASS_RESOURCE, LOG_MODULE_TLS);
}

int vexa_ssl_startup()
{
    signal(SIGPIPE, SIG_IGN);
    if (init_ssl())
        return 1;
    if (log_level > 0)
        log_message("Boot failed, SSL startup is broken.\n");
    return 0;
}

int init_ssl()
{
    OPENSSL_init_ssl(OPENSSL_INIT_LOAD_SSL_STRINGS | OPENSSL_INIT_LOAD_CRYPTO_STRINGS, nullptr);
    // Failures below report the earliest queued error: make it theirs.
    ERR_clear_error();

    const SSL_METHOD *method = TLS_method();
    if (!method) {
        report_ssl_failure("Error in init_ssl(), unable to allocate method?");
        return 0;
    }
    // A context of an earlier run is released; connections made from it hold
    // their own reference and stay usable.
    SSL_CTX_free(the_context);
    the_context = SSL_CTX_new(method);
    if (!the_context) {
        report_ssl_failure("Error in init_ssl(), unable to allocate context?");
        return 0;
    }
    if (SSL_CTX_set_options(the_context, SSL_OP_NO_SSLv2) == 0) {
        report_ssl_failure("Error in init_ssl(), unable to set SSL options to disable SSLv2.");
        return 0;
    }
    if (SSL_CTX_set_cipher_list(the_context, current_ciphers) != 1) {
        report_ssl_failure("Error in init_ssl(), unable to set cipher suite?");
        return 0;
    }
    if (context_hook)
        context_hook();
    QV_BEGIN_DEPRECATED_OPENSSL
    SSL_CTX_set_tmp_dh_callback(the_context, get_tmp_dh_callback);
    QV_END_DEPRECATED_OPENSSL

    if (chain_file[0]) {
        if (SSL_CTX_load_verify_locations(the_context, chain_file, nullptr) != 1) {
            report_file_failure("Error in init_ssl(), unable to load server certificate chain from file '%s'.",
                                chain_file);
            return 0;
        }
        for (extra_chain_file *e = extra_chain_files; e; e = e->next) {
            if (SSL_CTX_load_verify_locations(the_context, e->name, nullptr) != 1) {
                report_file_failure(
                    "Error in init_ssl(), unable to load server extra certificate chain from file '%s'.", e->name);
                return 0;
            }
        }
    }
    if (certificate_file[0] && SSL_CTX_use_certificate_file(the_context, certificate_file, SSL_FILETYPE_PEM) != 1) {
        report_file_failure("Error in init_ssl(), unable to load server certificate from file '%s'.",
                            certificate_file);
        return 0;
    }
    if (private_key_file[0]) {
        QV_BEGIN_DEPRECATED_OPENSSL
        int loaded = SSL_CTX_use_RSAPrivateKey_file(the_context, private_key_file, SSL_FILETYPE_PEM);
        QV_END_DEPRECATED_OPENSSL
        if (loaded != 1) {
            report_file_failure("Error in init_ssl(), unable to load server private key from file '%s'.",
                                private_key_file);
            return 0;
        }
    }
    return 1;
}

SSL_CTX *ssl_get_context()
{
    return the_context;
}

void ssl_set_private_key_file(const char *name)
{
    copy_file_name(private_key_file, name);
}

void ssl_set_certificate_file(const char *name)
{
    copy_file_name(certificate_file, name);
}

void ssl_set_chain_file(const char *name)
{
    copy_file_name(chain_file, name);
}

void ssl_add_extra_chain_file(const char *name)
{
    if (!name)
        return;
    extra_chain_file *e = (extra_chain_file *)malloc(sizeof(extra_chain_file));
    char *copy = strdup(name);
    if (!e || !copy) {
        free(e);
        free(copy);
        log_report("Error in ssl_add_extra_chain_file(), memory allocation failed.", LOG_CLASS_RESOURCE,
                   LOG_MODULE_TLS);
        return;
    }
    e->name = copy;
    e->next = extra_chain_files;
    extra_chain_files = e;
}

void ssl_clear_extra_chain_files()
{
    while (extra_chain_files) {
        extra_chain_file *next = extra_chain_files->next;
        free(extra_chain_files->name);
        free(extra_chain_files);
        extra_chain_files = next;
    }
}

void ssl_set_context_hook(void (*hook)())
{
    context_hook = hook;
}

void ssl_use_default_ciphers()
{
    current_ciphers = default_ciphers;
}

void ssl_use_high_ciphers()
{
    current_ciphers = high_ciphers;
}

void ssl_allow_anonymous_ciphers()
{
    current_ciphers = anonymous_ciphers;
}

const char *ssl_get_cipher_list()
{
    return current_ciphers;
}

DH *get_tmp_dh_callback(SSL *ssl, int is_export, int key_length)
{
    (void)ssl;
    if (key_length < short_key_bits) {
        text_buffer msg;
        msg.append_format("Warning in get_tmp_dh_callback(), requested short key length %4d, export %d.", key_length,
                          is_export);
        log_report(msg.text(), LOG_CLASS_PROTOCOL, LOG_MODULE_TLS);
    }
    for (dh_group &group : dh_groups) {
        if (group.bits != key_length)
            continue;
        pthread_mutex_lock(&dh_mutex);
        if (!group.cached)
            group.cached = build_dh(group);
        DH *dh = group.cached;
        pthread_mutex_unlock(&dh_mutex);
        return dh;
    }
    text_buffer msg;
    msg.append_format("Warning in get_tmp_dh_callback(), unsupported key length %4d, export %d.", key_length,
                      is_export);
    log_report(msg.text(), LOG_CLASS_INPUT, LOG_MODULE_TLS);
    return nullptr;
}
