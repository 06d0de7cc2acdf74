/* The library's configuration for a Windows DLL built from its sources alone: the hashing
   methods and crypt front ends, without the obsolete interface or symbol versions. */
#define HAVE_SYS_TYPES_H 1
#define HAVE_FCNTL_H 1
#define HAVE_SYS_STAT_H 1
#define ENABLE_OBSOLETE_API 0
#include <stdalign.h>
#define ENDIANNESS_IS_LITTLE 1
#define HAVE_STATIC_ASSERT_IN_ASSERT_H 1
#define HAVE_MAX_ALIGN_T 1

#define INCLUDE_crypt 1
#define INCLUDE_crypt_r 1
#define INCLUDE_crypt_rn 1
#define INCLUDE_crypt_ra 1
#define INCLUDE_crypt_gensalt 1
#define INCLUDE_crypt_gensalt_rn 1
#define INCLUDE_crypt_gensalt_ra 1
#define INCLUDE_crypt_checksalt 1
#define INCLUDE_crypt_preferred_method 1

#define SYMVER_crypt symver_nop()
#define SYMVER_crypt_r symver_nop()
#define SYMVER_crypt_rn symver_nop()
#define SYMVER_crypt_ra symver_nop()
#define SYMVER_crypt_gensalt symver_nop()
#define SYMVER_crypt_gensalt_rn symver_nop()
#define SYMVER_crypt_gensalt_ra symver_nop()
#define SYMVER_crypt_checksalt symver_nop()
#define SYMVER_crypt_preferred_method symver_nop()
