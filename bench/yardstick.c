/*
 * yardstick: the plainest possible tally of qconsole.log, kept only as a
 * speed reference for fragtally. Plain stdio, fixed tables, linear name
 * lookup, every phrase tested with strstr on every line.
 *
 * Reads qconsole.log in the current folder, prints "%d lines parsed." per
 * line, writes qconsole.txt (one line per player: name and 23 counters) and
 * exits 1 like fragtally does.
 */
#include <stdio.h>
#include <string.h>

#define MAX_PLAYERS 100
#define NAME_LEN 20
#define NO_STATS 23

/* stats columns: kills per weapon, deaths per weapon, suicides, totals */
enum {
    W_RAILED,
    W_ELECTROCUTED,
    W_GUNNED_DOWN,
    W_MACHINEGUNNED,
    W_MELTED,
    W_DODGED,
    W_PUMMELED,
    W_ATE_ROCKET,
    NO_WEAPONS
};
#define KILLS(w) (w)
#define DEATHS(w) (NO_WEAPONS + (w))
enum {
    S_WRONG_PLACE = 2 * NO_WEAPONS,
    S_MELTED_HIMSELF,
    S_LAVA,
    S_BLEW_UP,
    S_CRATERED,
    TOTAL_KILLS,
    TOTAL_DEATHS
};

static char name[MAX_PLAYERS][NAME_LEN];
static int stats[MAX_PLAYERS][NO_STATS];
static int who_killed_who[MAX_PLAYERS][MAX_PLAYERS];

/* First slot holding "NULL" or the name; -1 when the table is full. */
static int find_player(const char* player) {
    int i;
    for (i = 0; i < MAX_PLAYERS; i++) {
        if (strcmp(name[i], "NULL") == 0) {
            strcpy(name[i], player);
            return i;
        }
        if (strcmp(name[i], player) == 0)
            return i;
    }
    return -1;
}

/* Victim: text before the first verb; returns where the verb starts. */
static const char* cut_victim(const char* line, char* out) {
    static const char* const marks[] = {" wa",   " ate",      " almost", " melted",
                                        " blew", " cratered", " does"};
    const char* end = NULL;
    size_t i, n;
    for (i = 0; i < sizeof marks / sizeof marks[0]; i++) {
        const char* p = strstr(line, marks[i]);
        if (p != NULL && (end == NULL || p < end))
            end = p;
    }
    if (end == NULL)
        end = line + strcspn(line, "\n");
    n = (size_t)(end - line);
    if (n > NAME_LEN - 1)
        n = NAME_LEN - 1;
    memcpy(out, line, n);
    out[n] = '\0';
    return end;
}

/* Killer: text after the verb, up to the line feed or "'s". */
static void cut_killer(const char* from, char* out) {
    static const char* const marks[] = {"ed by ", "wn by ", "ate ", "dged "};
    const char* start = NULL;
    size_t i, n = 0;
    for (i = 0; i < sizeof marks / sizeof marks[0]; i++) {
        const char* p = strstr(from, marks[i]);
        if (p != NULL && (start == NULL || p < start))
            start = p + strlen(marks[i]);
    }
    if (start != NULL) {
        while (n < NAME_LEN - 1 && start[n] != '\0' && start[n] != '\n' &&
               !(start[n] == '\'' && start[n + 1] == 's'))
            n++;
        memcpy(out, start, n);
    }
    out[n] = '\0';
}

static void count_suicide(const char* line, int column) {
    char victim[NAME_LEN];
    int v;
    cut_victim(line, victim);
    v = find_player(victim);
    if (v < 0)
        return;
    stats[v][column]++;
    stats[v][TOTAL_DEATHS]++;
}

static void count_kill(const char* line, int weapon) {
    char victim[NAME_LEN], killer[NAME_LEN];
    const char* rest = cut_victim(line, victim);
    int v, k;
    cut_killer(rest, killer);
    v = find_player(victim);
    k = find_player(killer);
    if (v < 0 || k < 0)
        return;
    stats[k][KILLS(weapon)]++;
    stats[k][TOTAL_KILLS]++;
    stats[v][DEATHS(weapon)]++;
    stats[v][TOTAL_DEATHS]++;
    who_killed_who[k][v]++;
}

int main(void) {
    char buf[50];
    long no_lines = 0, step;
    int linecount = 0, rounds = 0, c, i, j;
    FILE *in, *out;

    in = fopen("qconsole.log", "r");
    if (in == NULL) {
        perror("qconsole.log");
        return 2;
    }
    while ((c = fgetc(in)) != EOF)
        if (c == '\n')
            no_lines++;
    rewind(in);

    for (i = 0; i < MAX_PLAYERS; i++)
        strcpy(name[i], "NULL");

    for (step = 0; step < no_lines; step++) {
        if (fgets(buf, 50, in) == NULL)
            break;
        linecount++;
        if (strstr(buf, "fraglimit")) {
            rounds++;
            if (rounds > 50)
                break;
        }
        if (strstr(buf, "in the wrong place"))
            count_suicide(buf, S_WRONG_PLACE);
        if (strstr(buf, "melted himself"))
            count_suicide(buf, S_MELTED_HIMSELF);
        if (strstr(buf, "into the lava"))
            count_suicide(buf, S_LAVA);
        if (strstr(buf, "blew himself up"))
            count_suicide(buf, S_BLEW_UP);
        if (strstr(buf, "cratered"))
            count_suicide(buf, S_CRATERED);
        if (strstr(buf, "was railed by"))
            count_kill(buf, W_RAILED);
        if (strstr(buf, "was electrocuted by"))
            count_kill(buf, W_ELECTROCUTED);
        if (strstr(buf, "was gunned down by"))
            count_kill(buf, W_GUNNED_DOWN);
        if (strstr(buf, "machinegunned by"))
            count_kill(buf, W_MACHINEGUNNED);
        if (strstr(buf, "melted by"))
            count_kill(buf, W_MELTED);
        if (strstr(buf, "almost dodged"))
            count_kill(buf, W_DODGED);
        if (strstr(buf, "was pummeled by"))
            count_kill(buf, W_PUMMELED);
        if (strstr(buf, "ate") && strstr(buf, "rocket"))
            count_kill(buf, W_ATE_ROCKET);
        printf("%d lines parsed.\n", linecount);
    }
    fclose(in);

    out = fopen("qconsole.txt", "w");
    if (out == NULL) {
        perror("qconsole.txt");
        return 2;
    }
    for (i = 0; i < MAX_PLAYERS && strcmp(name[i], "NULL") != 0; i++) {
        fprintf(out, "%s", name[i]);
        for (j = 0; j < NO_STATS; j++)
            fprintf(out, " %d", stats[i][j]);
        fputc('\n', out);
    }
    fclose(out);
    return 1;
}
