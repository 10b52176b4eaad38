// OpenSSL, loaded the first time an FTPS session sets up TLS. libssl and libcrypto were loaded and
// relocated at every start of every program, also for the many who never use FTPS; now a plain
// FTP upload, a USB camera and --version never map them. These are the OpenSSL functions the TLS
// layer calls, each forwarding to the library, which is opened (by its soname) on the first call;
// without it they return nothing, and setting up a TLS context fails with its usual message. A
// new OpenSSL call in the TLS layer needs its line here (the link fails until it has one).
#include <dlfcn.h>

#include <mutex>
#include <type_traits>

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

namespace {

// X(name) for every function forwarded.
#define VISTREL_OPENSSL_FUNCTIONS(X)                                                               \
    X(BIO_clear_flags)                                                                             \
    X(BIO_get_data)                                                                                \
    X(BIO_get_new_index)                                                                           \
    X(BIO_meth_new)                                                                                \
    X(BIO_meth_set_create)                                                                         \
    X(BIO_meth_set_ctrl)                                                                           \
    X(BIO_meth_set_read)                                                                           \
    X(BIO_meth_set_write)                                                                          \
    X(BIO_new)                                                                                     \
    X(BIO_set_data)                                                                                \
    X(BIO_set_flags)                                                                               \
    X(BIO_set_init)                                                                                \
    X(ERR_clear_error)                                                                             \
    X(ERR_error_string_n)                                                                          \
    X(ERR_peek_error)                                                                              \
    X(ERR_reason_error_string)                                                                     \
    X(EVP_sha256)                                                                                  \
    X(SSL_CIPHER_get_name)                                                                         \
    X(SSL_CTX_ctrl)                                                                                \
    X(SSL_CTX_free)                                                                                \
    X(SSL_CTX_get_ex_data)                                                                         \
    X(SSL_CTX_new)                                                                                 \
    X(SSL_CTX_sess_set_new_cb)                                                                     \
    X(SSL_CTX_set_default_verify_paths)                                                            \
    X(SSL_CTX_set_ex_data)                                                                         \
    X(SSL_CTX_set_verify)                                                                          \
    X(SSL_SESSION_free)                                                                            \
    X(SSL_SESSION_is_resumable)                                                                    \
    X(SSL_connect)                                                                                 \
    X(SSL_ctrl)                                                                                    \
    X(SSL_free)                                                                                    \
    X(SSL_get0_param)                                                                              \
    X(SSL_get0_peer_certificate)                                                                   \
    X(SSL_get_SSL_CTX)                                                                             \
    X(SSL_get_current_cipher)                                                                      \
    X(SSL_get_error)                                                                               \
    X(SSL_get_ex_data)                                                                             \
    X(SSL_get_ex_data_X509_STORE_CTX_idx)                                                          \
    X(SSL_get_verify_result)                                                                       \
    X(SSL_get_version)                                                                             \
    X(SSL_new)                                                                                     \
    X(SSL_read_ex)                                                                                 \
    X(SSL_set_bio)                                                                                 \
    X(SSL_set_connect_state)                                                                       \
    X(SSL_set_ex_data)                                                                             \
    X(SSL_set_session)                                                                             \
    X(SSL_shutdown)                                                                                \
    X(SSL_write_ex)                                                                                \
    X(TLS_client_method)                                                                           \
    X(X509_NAME_get_text_by_NID)                                                                   \
    X(X509_STORE_CTX_get0_cert)                                                                    \
    X(X509_STORE_CTX_get_ex_data)                                                                  \
    X(X509_VERIFY_PARAM_set1_host)                                                                 \
    X(X509_VERIFY_PARAM_set1_ip_asc)                                                               \
    X(X509_VERIFY_PARAM_set_hostflags)                                                             \
    X(X509_digest)                                                                                 \
    X(X509_get_subject_name)                                                                       \
    X(X509_verify_cert_error_string)

enum Function {
#define VISTREL_OPENSSL_INDEX(name) k_##name,
    VISTREL_OPENSSL_FUNCTIONS(VISTREL_OPENSSL_INDEX)
#undef VISTREL_OPENSSL_INDEX
        kFunctionCount
};

// The functions' addresses in the library, all null when it cannot be had.
void* const* functions()
{
    static void* table[kFunctionCount] = {};
    static std::once_flag once;
    std::call_once(once, [] {
        // libssl brings libcrypto; a handle's look-ups search both.
        void* lib = ::dlopen(VISTREL_LIBSSL_SONAME, RTLD_NOW | RTLD_LOCAL);
        if (!lib)
            return;
        static const char* const names[kFunctionCount] = {
#define VISTREL_OPENSSL_NAME(name) #name,
            VISTREL_OPENSSL_FUNCTIONS(VISTREL_OPENSSL_NAME)
#undef VISTREL_OPENSSL_NAME
        };
        void* found[kFunctionCount];
        for (int i = 0; i < kFunctionCount; ++i)
            if (!(found[i] = ::dlsym(lib, names[i])))
                return; // a library without all of them is not used at all
        for (int i = 0; i < kFunctionCount; ++i)
            table[i] = found[i];
    });
    return table;
}

// Calls function index as F; a zero result (or nothing) when the library is missing.
template <class F, class... Args> auto call(Function index, Args... args)
{
    using Result = std::invoke_result_t<F, Args...>;
    const auto fn = reinterpret_cast<F>(functions()[index]);
    if (!fn) {
        if constexpr (std::is_void_v<Result>)
            return;
        else
            return Result{};
    }
    return fn(args...);
}

} // namespace

extern "C" {

void BIO_clear_flags(BIO* b, int flags)
{
    return call<decltype(&BIO_clear_flags)>(k_BIO_clear_flags, b, flags);
}

void* BIO_get_data(BIO* a)
{
    return call<decltype(&BIO_get_data)>(k_BIO_get_data, a);
}

int BIO_get_new_index()
{
    return call<decltype(&BIO_get_new_index)>(k_BIO_get_new_index);
}

BIO_METHOD* BIO_meth_new(int type, const char* name)
{
    return call<decltype(&BIO_meth_new)>(k_BIO_meth_new, type, name);
}

int BIO_meth_set_create(BIO_METHOD* biom, int (*create)(BIO*))
{
    return call<decltype(&BIO_meth_set_create)>(k_BIO_meth_set_create, biom, create);
}

int BIO_meth_set_ctrl(BIO_METHOD* biom, long (*ctrl)(BIO*, int, long, void*))
{
    return call<decltype(&BIO_meth_set_ctrl)>(k_BIO_meth_set_ctrl, biom, ctrl);
}

int BIO_meth_set_read(BIO_METHOD* biom, int (*read)(BIO*, char*, int))
{
    return call<decltype(&BIO_meth_set_read)>(k_BIO_meth_set_read, biom, read);
}

int BIO_meth_set_write(BIO_METHOD* biom, int (*write)(BIO*, const char*, int))
{
    return call<decltype(&BIO_meth_set_write)>(k_BIO_meth_set_write, biom, write);
}

BIO* BIO_new(const BIO_METHOD* type)
{
    return call<decltype(&BIO_new)>(k_BIO_new, type);
}

void BIO_set_data(BIO* a, void* ptr)
{
    return call<decltype(&BIO_set_data)>(k_BIO_set_data, a, ptr);
}

void BIO_set_flags(BIO* b, int flags)
{
    return call<decltype(&BIO_set_flags)>(k_BIO_set_flags, b, flags);
}

void BIO_set_init(BIO* a, int init)
{
    return call<decltype(&BIO_set_init)>(k_BIO_set_init, a, init);
}

void ERR_clear_error()
{
    return call<decltype(&ERR_clear_error)>(k_ERR_clear_error);
}

void ERR_error_string_n(unsigned long e, char* buf, size_t len)
{
    return call<decltype(&ERR_error_string_n)>(k_ERR_error_string_n, e, buf, len);
}

unsigned long ERR_peek_error()
{
    return call<decltype(&ERR_peek_error)>(k_ERR_peek_error);
}

const char* ERR_reason_error_string(unsigned long e)
{
    return call<decltype(&ERR_reason_error_string)>(k_ERR_reason_error_string, e);
}

const EVP_MD* EVP_sha256()
{
    return call<decltype(&EVP_sha256)>(k_EVP_sha256);
}

const char* SSL_CIPHER_get_name(const SSL_CIPHER* c)
{
    return call<decltype(&SSL_CIPHER_get_name)>(k_SSL_CIPHER_get_name, c);
}

long SSL_CTX_ctrl(SSL_CTX* ctx, int cmd, long larg, void* parg)
{
    return call<decltype(&SSL_CTX_ctrl)>(k_SSL_CTX_ctrl, ctx, cmd, larg, parg);
}

void SSL_CTX_free(SSL_CTX* a0)
{
    return call<decltype(&SSL_CTX_free)>(k_SSL_CTX_free, a0);
}

void* SSL_CTX_get_ex_data(const SSL_CTX* ssl, int idx)
{
    return call<decltype(&SSL_CTX_get_ex_data)>(k_SSL_CTX_get_ex_data, ssl, idx);
}

SSL_CTX* SSL_CTX_new(const SSL_METHOD* meth)
{
    return call<decltype(&SSL_CTX_new)>(k_SSL_CTX_new, meth);
}

void SSL_CTX_sess_set_new_cb(SSL_CTX* ctx,
                             int (*new_session_cb)(struct ssl_st* ssl, SSL_SESSION* sess))
{
    return call<decltype(&SSL_CTX_sess_set_new_cb)>(k_SSL_CTX_sess_set_new_cb, ctx, new_session_cb);
}

int SSL_CTX_set_default_verify_paths(SSL_CTX* ctx)
{
    return call<decltype(&SSL_CTX_set_default_verify_paths)>(k_SSL_CTX_set_default_verify_paths,
                                                             ctx);
}

int SSL_CTX_set_ex_data(SSL_CTX* ssl, int idx, void* data)
{
    return call<decltype(&SSL_CTX_set_ex_data)>(k_SSL_CTX_set_ex_data, ssl, idx, data);
}

void SSL_CTX_set_verify(SSL_CTX* ctx, int mode, SSL_verify_cb callback)
{
    return call<decltype(&SSL_CTX_set_verify)>(k_SSL_CTX_set_verify, ctx, mode, callback);
}

void SSL_SESSION_free(SSL_SESSION* ses)
{
    return call<decltype(&SSL_SESSION_free)>(k_SSL_SESSION_free, ses);
}

int SSL_SESSION_is_resumable(const SSL_SESSION* s)
{
    return call<decltype(&SSL_SESSION_is_resumable)>(k_SSL_SESSION_is_resumable, s);
}

int SSL_connect(SSL* ssl)
{
    return call<decltype(&SSL_connect)>(k_SSL_connect, ssl);
}

long SSL_ctrl(SSL* ssl, int cmd, long larg, void* parg)
{
    return call<decltype(&SSL_ctrl)>(k_SSL_ctrl, ssl, cmd, larg, parg);
}

void SSL_free(SSL* ssl)
{
    return call<decltype(&SSL_free)>(k_SSL_free, ssl);
}

X509_VERIFY_PARAM* SSL_get0_param(SSL* ssl)
{
    return call<decltype(&SSL_get0_param)>(k_SSL_get0_param, ssl);
}

X509* SSL_get0_peer_certificate(const SSL* s)
{
    return call<decltype(&SSL_get0_peer_certificate)>(k_SSL_get0_peer_certificate, s);
}

SSL_CTX* SSL_get_SSL_CTX(const SSL* ssl)
{
    return call<decltype(&SSL_get_SSL_CTX)>(k_SSL_get_SSL_CTX, ssl);
}

const SSL_CIPHER* SSL_get_current_cipher(const SSL* s)
{
    return call<decltype(&SSL_get_current_cipher)>(k_SSL_get_current_cipher, s);
}

int SSL_get_error(const SSL* s, int ret_code)
{
    return call<decltype(&SSL_get_error)>(k_SSL_get_error, s, ret_code);
}

void* SSL_get_ex_data(const SSL* ssl, int idx)
{
    return call<decltype(&SSL_get_ex_data)>(k_SSL_get_ex_data, ssl, idx);
}

int SSL_get_ex_data_X509_STORE_CTX_idx()
{
    return call<decltype(&SSL_get_ex_data_X509_STORE_CTX_idx)>(
        k_SSL_get_ex_data_X509_STORE_CTX_idx);
}

long SSL_get_verify_result(const SSL* ssl)
{
    return call<decltype(&SSL_get_verify_result)>(k_SSL_get_verify_result, ssl);
}

const char* SSL_get_version(const SSL* s)
{
    return call<decltype(&SSL_get_version)>(k_SSL_get_version, s);
}

SSL* SSL_new(SSL_CTX* ctx)
{
    return call<decltype(&SSL_new)>(k_SSL_new, ctx);
}

int SSL_read_ex(SSL* ssl, void* buf, size_t num, size_t* readbytes)
{
    return call<decltype(&SSL_read_ex)>(k_SSL_read_ex, ssl, buf, num, readbytes);
}

void SSL_set_bio(SSL* s, BIO* rbio, BIO* wbio)
{
    return call<decltype(&SSL_set_bio)>(k_SSL_set_bio, s, rbio, wbio);
}

void SSL_set_connect_state(SSL* s)
{
    return call<decltype(&SSL_set_connect_state)>(k_SSL_set_connect_state, s);
}

int SSL_set_ex_data(SSL* ssl, int idx, void* data)
{
    return call<decltype(&SSL_set_ex_data)>(k_SSL_set_ex_data, ssl, idx, data);
}

int SSL_set_session(SSL* to, SSL_SESSION* session)
{
    return call<decltype(&SSL_set_session)>(k_SSL_set_session, to, session);
}

int SSL_shutdown(SSL* s)
{
    return call<decltype(&SSL_shutdown)>(k_SSL_shutdown, s);
}

int SSL_write_ex(SSL* s, const void* buf, size_t num, size_t* written)
{
    return call<decltype(&SSL_write_ex)>(k_SSL_write_ex, s, buf, num, written);
}

const SSL_METHOD* TLS_client_method()
{
    return call<decltype(&TLS_client_method)>(k_TLS_client_method);
}

int X509_NAME_get_text_by_NID(const X509_NAME* name, int nid, char* buf, int len)
{
    return call<decltype(&X509_NAME_get_text_by_NID)>(k_X509_NAME_get_text_by_NID, name, nid, buf,
                                                      len);
}

X509* X509_STORE_CTX_get0_cert(const X509_STORE_CTX* ctx)
{
    return call<decltype(&X509_STORE_CTX_get0_cert)>(k_X509_STORE_CTX_get0_cert, ctx);
}

void* X509_STORE_CTX_get_ex_data(const X509_STORE_CTX* ctx, int idx)
{
    return call<decltype(&X509_STORE_CTX_get_ex_data)>(k_X509_STORE_CTX_get_ex_data, ctx, idx);
}

int X509_VERIFY_PARAM_set1_host(X509_VERIFY_PARAM* param, const char* name, size_t namelen)
{
    return call<decltype(&X509_VERIFY_PARAM_set1_host)>(k_X509_VERIFY_PARAM_set1_host, param, name,
                                                        namelen);
}

int X509_VERIFY_PARAM_set1_ip_asc(X509_VERIFY_PARAM* param, const char* ipasc)
{
    return call<decltype(&X509_VERIFY_PARAM_set1_ip_asc)>(k_X509_VERIFY_PARAM_set1_ip_asc, param,
                                                          ipasc);
}

void X509_VERIFY_PARAM_set_hostflags(X509_VERIFY_PARAM* param, unsigned int flags)
{
    return call<decltype(&X509_VERIFY_PARAM_set_hostflags)>(k_X509_VERIFY_PARAM_set_hostflags,
                                                            param, flags);
}

int X509_digest(const X509* data, const EVP_MD* type, unsigned char* md, unsigned int* len)
{
    return call<decltype(&X509_digest)>(k_X509_digest, data, type, md, len);
}

X509_NAME* X509_get_subject_name(const X509* a)
{
    return call<decltype(&X509_get_subject_name)>(k_X509_get_subject_name, a);
}

const char* X509_verify_cert_error_string(long n)
{
    return call<decltype(&X509_verify_cert_error_string)>(k_X509_verify_cert_error_string, n);
}

} // extern "C"
