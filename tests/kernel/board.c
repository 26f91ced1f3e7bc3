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
 *   write "BASE NGPIO CLOCK DATA stop|low NBITS\n"   adds the chip; CLOCK and
 *                                                   DATA are offsets in it
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
#include <linux/gpio/driver.h>
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

static struct {
    struct gpio_chip chip;
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

static void board_set(struct gpio_chip *gc, unsigned int offset, int value) {
    mutex_lock(&board.lock);
    if (offset == board.clock) {
        board.writes++;
        clock_level(value);
    }
    mutex_unlock(&board.lock);
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

static int board_add_chip(int base, u16 ngpio) {
    struct platform_device *pdev;
    int ret;

    /* A parent, as a SoC's chip has: its lines' sysfs directories then
     * lie below it, not under /sys/devices/virtual.
     */
    pdev = platform_device_register_simple(BOARD_NAME, PLATFORM_DEVID_NONE, NULL, 0);
    if (IS_ERR(pdev))
        return PTR_ERR(pdev);
    board.chip.label = BOARD_NAME;
    board.chip.parent = &pdev->dev;
    board.chip.owner = THIS_MODULE;
    board.chip.base = base;
    board.chip.ngpio = ngpio;
    board.chip.can_sleep = true; /* a held read sleeps */
    board.chip.get_direction = board_get_direction;
    board.chip.direction_input = board_direction_input;
    board.chip.direction_output = board_direction_output;
    board.chip.get = board_get;
    board.chip.set = board_set;
    ret = gpiochip_add_data(&board.chip, NULL);
    if (ret) {
        platform_device_unregister(pdev);
        return ret;
    }
    board.pdev = pdev;
    return 0;
}

static int board_configure(const char __user *from, size_t count) {
    char text[64], end[8];
    int base, ret;
    unsigned int ngpio, clock, data, nbits;

    if (count >= sizeof(text))
        return -EINVAL;
    if (copy_from_user(text, from, count))
        return -EFAULT;
    text[count] = '\0';
    if (sscanf(text, "%d %u %u %u %7s %u", &base, &ngpio, &clock, &data, end, &nbits) != 6)
        return -EINVAL;
    if (base < 0 || ngpio == 0 || ngpio > 32 || clock >= ngpio || data >= ngpio || clock == data ||
        nbits > BOARD_MAX_BITS)
        return -EINVAL;
    if (strcmp(end, "stop") != 0 && strcmp(end, "low") != 0)
        return -EINVAL;
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
    ret = board_add_chip(base, ngpio);
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
