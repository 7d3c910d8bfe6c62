// disp/movie: movie records and their lists.
#include "disp/movie.h"
#include "disp/movie_local.h"

#include <cstring>

#include "svc/txt_settings.h"
#include "util/pool_list.h"

namespace {

MovieBlock g_movie;

bool owned_and_in_use(const MovieRec* r)
{
    const MovieRec* first = &g_movie.rec[0];
    return r >= first && r < first + MOVIE_RECORD_COUNT && (r->flags & MOVIE_IN_USE);
}

// Frees the active records the predicate picks; the next link is read first
// because freeing moves the record to the other list.
template <typename Pick>
void free_active_where(Pick pick)
{
    for (MovieRec* r = g_movie.active; r;) {
        MovieRec* next = r->next;
        if (pick(*r)) movie_free(r);
        r = next;
    }
}

void walk_active()
{
    for (const MovieRec* r = g_movie.active; r; r = r->next) (void)r;
}

void copy_data_path()
{
    const char* path = txt_settings_get_string("MOVIE_DATA_PATH");
    if (!path) path = ".\\data\\movie\\";
    std::strncpy(g_movie.data_path, path, MOVIE_PATH_MAX - 1);
    g_movie.data_path[MOVIE_PATH_MAX - 1] = '\0';
}

}  // namespace

void movie_init()
{
    g_movie = MovieBlock{};
    copy_data_path();
    res_mark(g_movie.mark);
    movie_list_reset();
}

void movie_term()
{
    movie_free_all();
    res_release_to_mark(g_movie.mark);
}

void movie_reset()
{
    movie_free_all();
    movie_list_reset();
}

void movie_list_reset()
{
    g_movie.active = nullptr;
    pool_list_init(g_movie.rec, MOVIE_RECORD_COUNT, g_movie.free_list);
    g_movie.count = 0;
}

void movie_free_all()
{
    free_active_where([](const MovieRec&) { return true; });
}

void movie_release_group(ResGroupId group)
{
    if (group == 0) return;
    free_active_where([group](const MovieRec& r) { return r.group == group; });
}

void movie_free(MovieRec* rec)
{
    // A record off the active list would corrupt both lists if unlinked.
    if (!rec || !owned_and_in_use(rec)) return;
    movie_stop(rec);
    if (rec->obj) obj_free(rec->obj);
    rec->obj = nullptr;
    rec->flags &= ~MOVIE_IN_USE;
    pool_list_give(rec, g_movie.free_list, g_movie.active);
    --g_movie.count;
}

int movie_open(MovieRec* rec, const char* file_name)
{
    if (!rec || !file_name) return 0;
    rec->flags |= MOVIE_PLAYING;
    return 1;
}

void movie_stop(MovieRec* rec)
{
    if (rec) rec->flags &= ~MOVIE_PLAYING;
}

int movie_query(const MovieRec*) { return 0; }
int movie_get_count() { return g_movie.count; }
const char* movie_get_data_path() { return g_movie.data_path; }
const MovieBlock& movie_block() { return g_movie; }

// Nothing is played, so the per-frame walks only visit the records.
void movie_frame_early() { walk_active(); }
void movie_frame_late() { walk_active(); }
