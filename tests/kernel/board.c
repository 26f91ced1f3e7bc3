// SPDX-License-Identifier: GPL-2.0
/*
 * The weather station's board as a GPIO chip, for the kernel cases: the
 * programs drive its clock line and read its data line through the kernel's
 * own GPIO interfaces (sysfs and the character device), and it answers as
 * station-sim's board does (sim/board.h). One bit of the stream per falling
 * clock edge; the bit of a pulse is on the data line from that fall to the
 * next. The clock rests high: a line nobody drives reads high, as with a
 * pull-up, so the fall that "out" in a direction file makes (the line is
 * driven low) is a pulse, and the first write of 0 then none. station-sim's
 * board sees the writes alone; for a program that writes 0 before its first
 * read, as both do, the two give the same reads and counts.
 *
 * Loaded through /dev/station-board, once:
 *   write "BASE NGPIO CLOCK DATA stop|low NBITS [SETTING...]\n"
 *       adds the chip; CLOCK and DATA are offsets in it; BASE -1 is a
 *       dynamic base, as a chip without a fixed one takes. SETTINGs:
 *         label LABEL         the chip's label (default station-board)
 *         other NGPIO LABEL   another chip of NGPIO lines added before it on
 *                             the same parent, as a SoC's banks: it takes
 *                             the first device number and a dynamic base,
 *                             so a dynamic board comes after it
 *         driver OFFSET NAME  the line taken by the kernel itself, as a
 *                             driver (an LED, a button) takes a pin, under
 *                             the consumer name NAME
 *         no-chip             no chip at all, only the counters
 *   write NBITS characters '0' and '1'              the stream, in any pieces
 *   read                                            the counters:
 *       "pulses P writes W samples S high H held 0|1\n"
 *   poll                                            readable once a read of
 *                                                   the data line is held
 * and /dev/station-board-falls, read only: the time of each clock fall, in
 * nanoseconds of the monotonic clock, as u64 in the machine's byte order, for
 * the first NBITS + 1 falls (the benchmarks time frames by them).
 * With "stop", a read of the data line once the stream has run out is held:
 * it waits, interruptibly, for good, so the program stops right there.
 */
#include <linux/gpio/consumer.h>
#include <linux/gpio/driver.h>
#include <linux/gpio/machine.h>
#include <linux/kernel.h>
#include <linux/miscdevice.h>
#include <linux/module.h>
#include <linux/mutex.h>
#include <linux/platform_device.h>
#include <linux/poll.h>
#include <linux/slab.h>
#include <linux/timekeeping.h>
#include <linux/uaccess.h>
#include <linux/wait.h>

#define BOARD_NAME "station-board"
#define BOARD_MAX_BITS (1u << 20)
#define BOARD_MAX_NAME 32

static struct {
    struct gpio_chip chip, other;
    char label[BOARD_MAX_NAME], other_label[BOARD_MAX_NAME], driver_name[BOARD_MAX_NAME];
    int driver_offset; /* -1: none */
    bool no_chip;
    struct platform_device *pdev;
    struct mutex load_lock; /* one writer at a time */
    struct mutex lock;      /* everything below, which the chip's callbacks use */
    wait_queue_head_t held_wait;
    u8 *bits;
    u64 *falls; /* the time of each fall, while there is room */
    u32 nbits, loaded;
    bool low_at_end;
    unsigned int clock, data;
    u32 outputs; /* lines driven by the program, by offset */
    int level;   /* the clock line as the board sees it */
    u64 pulses, writes, samples, high_samples;
    bool held;
} board;

/* Holds the lock. */
static void clock_level(int level) {
    if (board.level && !level) {
        if (board.pulses <= board.nbits)
            board.falls[board.pulses] = ktime_get_ns();
        board.pulses++;
    }
    board.level = level;
}

/* Holds the lock. */
static bool exhausted(void) {
    return board.pulses > board.nbits;
}

/* Holds the lock. */
static int data_level(void) {
    if (board.pulses == 0 || exhausted())
        return 0;
    return board.bits[board.pulses - 1];
}

static int board_get_direction(struct gpio_chip *gc, unsigned int offset) {
    int out;

    mutex_lock(&board.lock);
    out = board.outputs & BIT(offset);
    mutex_unlock(&board.lock);
    return out ? GPIO_LINE_DIRECTION_OUT : GPIO_LINE_DIRECTION_IN;
}

static int board_direction_input(struct gpio_chip *gc, unsigned int offset) {
    mutex_lock(&board.lock);
    board.outputs &= ~BIT(offset);
    if (offset == board.clock)
        clock_level(1); /* let go: pulled up */
    mutex_unlock(&board.lock);
    return 0;
}

static int board_direction_output(struct gpio_chip *gc, unsigned int offset, int value) {
    mutex_lock(&board.lock);
    board.outputs |= BIT(offset);
    if (offset == board.clock)
        clock_level(value);
    mutex_unlock(&board.lock);
    return 0;
}

static int board_set(struct gpio_chip *gc, unsigned int offset, int value) {
    mutex_lock(&board.lock);
    if (offset == board.clock) {
        board.writes++;
        clock_level(value);
    }
    mutex_unlock(&board.lock);
    return 0;
}

/* For the kernels whose .set returns nothing (6.12 and older). */
static void board_set_void(struct gpio_chip *gc, unsigned int offset, int value) {
    board_set(gc, offset, value);
}

static int board_get(struct gpio_chip *gc, unsigned int offset) {
    int level;

    if (offset != board.data) {
        mutex_lock(&board.lock);
        level = offset == board.clock ? board.level : 0;
        mutex_unlock(&board.lock);
        return level;
    }
    mutex_lock(&board.lock);
    if (exhausted() && !board.low_at_end) {
        board.held = true;
        mutex_unlock(&board.lock);
        wake_up_interruptible(&board.held_wait);
        /* Never answered: only a signal ends the wait. */
        return wait_event_interruptible(board.held_wait, false);
    }
    board.samples++;
    if (board.level)
        board.high_samples++;
    level = data_level();
    mutex_unlock(&board.lock);
    return level;
}

/* The other chip's lines are inputs nobody uses. */
static int other_get_direction(struct gpio_chip *gc, unsigned int offset) {
    return GPIO_LINE_DIRECTION_IN;
}

static int other_get(struct gpio_chip *gc, unsigned int offset) {
    return 0;
}

static int board_add_chip(int base, u16 ngpio, u16 other_ngpio) {
    struct platform_device *pdev;
    struct gpio_desc *taken;
    int ret;

    if (board.no_chip)
        return 0;
    /* A parent, as a SoC's chip has: its lines' sysfs directories then
     * lie below it, not under /sys/devices/virtual.
     */
    pdev = platform_device_register_simple(BOARD_NAME, PLATFORM_DEVID_NONE, NULL, 0);
    if (IS_ERR(pdev))
        return PTR_ERR(pdev);
    if (other_ngpio) {
        board.other.label = board.other_label;
        board.other.parent = &pdev->dev;
        board.other.owner = THIS_MODULE;
        board.other.base = -1;
        board.other.ngpio = other_ngpio;
        board.other.get_direction = other_get_direction;
        board.other.get = other_get;
        ret = gpiochip_add_data(&board.other, NULL);
        if (ret)
            goto fail;
    }
    board.chip.label = board.label;
    board.chip.parent = &pdev->dev;
    board.chip.owner = THIS_MODULE;
    board.chip.base = base;
    board.chip.ngpio = ngpio;
    board.chip.can_sleep = true; /* a held read sleeps */
    board.chip.get_direction = board_get_direction;
    board.chip.direction_input = board_direction_input;
    board.chip.direction_output = board_direction_output;
    board.chip.get = board_get;
    /* The member's own type picks the function: newer kernels' .set
     * returns a status, older ones' nothing.
     */
    board.chip.set = _Generic(board.chip.set,
                              void (*)(struct gpio_chip *, unsigned int, int): board_set_void,
                              default: board_set);
    ret = gpiochip_add_data(&board.chip, NULL);
    if (ret)
        goto fail_other;
    if (board.driver_offset >= 0) {
        /* Left as it is, not driven: the board sees nothing of it. */
        taken = gpiochip_request_own_desc(&board.chip, board.driver_offset, board.driver_name,
                                          GPIO_LOOKUP_FLAGS_DEFAULT, GPIOD_ASIS);
        if (IS_ERR(taken)) {
            ret = PTR_ERR(taken);
            gpiochip_remove(&board.chip);
            goto fail_other;
        }
    }
    board.pdev = pdev;
    return 0;
fail_other:
    if (other_ngpio)
        gpiochip_remove(&board.other);
fail:
    platform_device_unregister(pdev);
    return ret;
}

static char *next_word(char **rest) {
    char *word;

    do
        word = strsep(rest, " \n");
    while (word && !*word);
    return word;
}

/* A name of fewer than BOARD_MAX_NAME characters, into `to`. */
static int take_name(char **rest, char *to) {
    char *word = next_word(rest);

    return word && strscpy(to, word, BOARD_MAX_NAME) > 0 ? 0 : -EINVAL;
}

static int take_number(char **rest, unsigned int *to) {
    char *word = next_word(rest);

    return word ? kstrtouint(word, 10, to) : -EINVAL;
}

/* The settings after NBITS; the other chip's line count into `other_ngpio`. */
static int board_settings(char *rest, unsigned int ngpio, unsigned int *other_ngpio) {
    unsigned int offset;
    char *word;
    int ret = 0;

    while (!ret && (word = next_word(&rest))) {
        if (strcmp(word, "label") == 0) {
            ret = take_name(&rest, board.label);
        } else if (strcmp(word, "other") == 0) {
            ret = take_number(&rest, other_ngpio) ?: take_name(&rest, board.other_label);
            if (!ret && (*other_ngpio == 0 || *other_ngpio > 256))
                ret = -EINVAL;
        } else if (strcmp(word, "driver") == 0) {
            ret = take_number(&rest, &offset) ?: take_name(&rest, board.driver_name);
            if (!ret && offset >= ngpio)
                ret = -EINVAL;
            if (!ret)
                board.driver_offset = offset;
        } else if (strcmp(word, "no-chip") == 0) {
            board.no_chip = true;
        } else {
            ret = -EINVAL;
        }
    }
    return ret;
}

static int board_configure(const char __user *from, size_t count) {
    char text[192], end[8];
    int base, ret, used;
    unsigned int ngpio, clock, data, nbits, other_ngpio = 0;

    if (count >= sizeof(text))
        return -EINVAL;
    if (copy_from_user(text, from, count))
        return -EFAULT;
    text[count] = '\0';
    if (sscanf(text, "%d %u %u %u %7s %u%n", &base, &ngpio, &clock, &data, end, &nbits, &used) != 6)
        return -EINVAL;
    if (base < -1 || ngpio == 0 || ngpio > 32 || clock >= ngpio || data >= ngpio || clock == data ||
        nbits > BOARD_MAX_BITS)
        return -EINVAL;
    if (strcmp(end, "stop") != 0 && strcmp(end, "low") != 0)
        return -EINVAL;
    ret = board_settings(text + used, ngpio, &other_ngpio);
    if (ret)
        return ret;
    /* No callback runs before the chip is added: no lock needed yet. */
    board.bits = kvzalloc(nbits + 1, GFP_KERNEL);
    board.falls = kvcalloc(nbits + 1, sizeof(*board.falls), GFP_KERNEL);
    if (!board.bits || !board.falls) {
        kvfree(board.bits);
        kvfree(board.falls);
        board.bits = NULL;
        return -ENOMEM;
    }
    board.nbits = nbits;
    board.low_at_end = strcmp(end, "low") == 0;
    board.clock = clock;
    board.data = data;
    board.level = 1;
    ret = board_add_chip(base, ngpio, other_ngpio);
    if (ret) {
        kvfree(board.bits);
        kvfree(board.falls);
        board.bits = NULL;
    }
    return ret;
}

static int board_load(const char __user *from, size_t count) {
    char chunk[256];
    size_t done, k, n;

    for (done = 0; done < count; done += n) {
        n = min(count - done, sizeof(chunk));
        if (copy_from_user(chunk, from + done, n))
            return -EFAULT;
        mutex_lock(&board.lock);
        for (k = 0; k < n && board.loaded < board.nbits; k++) {
            if (chunk[k] != '0' && chunk[k] != '1')
                break;
            board.bits[board.loaded++] = chunk[k] == '1';
        }
        mutex_unlock(&board.lock);
        if (k < n) /* a stray character, or more than NBITS */
            return board.loaded == board.nbits ? -ENOSPC : -EINVAL;
    }
    return 0;
}

static ssize_t board_write(struct file *file, const char __user *from, size_t count, loff_t *pos) {
    int ret;

    mutex_lock(&board.load_lock);
    ret = board.bits ? board_load(from, count) : board_configure(from, count);
    mutex_unlock(&board.load_lock);
    return ret ? ret : count;
}

static ssize_t board_read(struct file *file, char __user *to, size_t count, loff_t *pos) {
    char text[128];
    int len;

    mutex_lock(&board.lock);
    len = scnprintf(text, sizeof(text), "pulses %llu writes %llu samples %llu high %llu held %d\n",
                    board.pulses, board.writes, board.samples, board.high_samples, board.held);
    mutex_unlock(&board.lock);
    return simple_read_from_buffer(to, count, pos, text, len);
}

static ssize_t falls_read(struct file *file, char __user *to, size_t count, loff_t *pos) {
    ssize_t ret;

    mutex_lock(&board.lock);
    ret = simple_read_from_buffer(to, count, pos, board.falls,
                                  min_t(u64, board.pulses, board.nbits + 1) * sizeof(u64));
    mutex_unlock(&board.lock);
    return ret;
}

static __poll_t board_poll(struct file *file, poll_table *wait) {
    __poll_t mask;

    poll_wait(file, &board.held_wait, wait);
    mutex_lock(&board.lock);
    mask = board.held ? EPOLLIN | EPOLLRDNORM : 0;
    mutex_unlock(&board.lock);
    return mask;
}

static const struct file_operations board_fops = {
    .owner = THIS_MODULE,
    .read = board_read,
    .write = board_write,
    .poll = board_poll,
    .llseek = noop_llseek,
};

static struct miscdevice board_misc = {
    .minor = MISC_DYNAMIC_MINOR,
    .name = BOARD_NAME,
    .fops = &board_fops,
};

static const struct file_operations falls_fops = {
    .owner = THIS_MODULE,
    .read = falls_read,
    .llseek = noop_llseek,
};

static struct miscdevice falls_misc = {
    .minor = MISC_DYNAMIC_MINOR,
    .name = BOARD_NAME "-falls",
    .fops = &falls_fops,
};

static int __init board_init(void) {
    int ret;

    mutex_init(&board.load_lock);
    mutex_init(&board.lock);
    strscpy(board.label, BOARD_NAME, BOARD_MAX_NAME);
    strscpy(board.other_label, "station-other", BOARD_MAX_NAME);
    board.driver_offset = -1;
    init_waitqueue_head(&board.held_wait);
    ret = misc_register(&board_misc);
    if (ret)
        return ret;
    ret = misc_register(&falls_misc);
    if (ret)
        misc_deregister(&board_misc);
    return ret;
}
module_init(board_init);

MODULE_DESCRIPTION("The weather station's clocked board on a GPIO chip, for tests");
MODULE_LICENSE("GPL");
