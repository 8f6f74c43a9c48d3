/* Stand-in for the subset of the sentry-native C interface used by the client.
 * Same names and signatures as the real header, so the real library can be
 * linked instead without touching callers. */
#ifndef LUMIRA_SENTRY_STANDIN_H
#define LUMIRA_SENTRY_STANDIN_H

#ifdef __cplusplus
extern "C" {
#endif

typedef struct sentry_options_s sentry_options_t;

sentry_options_t *sentry_options_new(void);
void sentry_options_free(sentry_options_t *opts);
void sentry_options_set_handler_path(sentry_options_t *opts, const char *path);
void sentry_options_set_database_path(sentry_options_t *opts, const char *path);

/* Takes ownership of opts. Returns 0 on success. */
int sentry_init(sentry_options_t *opts);
int sentry_close(void);
int sentry_shutdown(void);

#ifdef __cplusplus
}
#endif

#endif
