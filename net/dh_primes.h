// Diffie-Hellman primes for temporary key exchange parameters, big-endian,
// one per supported key length; every group uses the generator 2.
#ifndef QV_NET_DH_PRIMES_H
#define QV_NET_DH_PRIMES_H

// The generator of every group.
extern const unsigned char dh_generator[1];

extern const unsigned char dh_prime_512[64];
extern const unsigned char dh_prime_768[96];
extern const unsigned char dh_prime_1024[128];
extern const unsigned char dh_prime_1536[192];
extern const unsigned char dh_prime_2048[256];
extern const unsigned char dh_prime_3072[384];
extern const unsigned char dh_prime_4096[512];

#endif
