import java.awt.Color;
import java.awt.GradientPaint;
import java.awt.Graphics2D;
import java.awt.image.BufferedImage;
import java.awt.image.Raster;
import java.io.DataOutputStream;
import java.io.File;
import java.io.FileOutputStream;
import java.io.IOException;
import java.nio.file.Files;
import javax.imageio.IIOImage;
import javax.imageio.ImageIO;
import javax.imageio.ImageWriteParam;
import javax.imageio.ImageTypeSpecifier;
import javax.imageio.ImageWriter;
import javax.imageio.metadata.IIOMetadata;
import javax.imageio.stream.ImageOutputStream;
import org.w3c.dom.Element;
import org.w3c.dom.Node;
import org.w3c.dom.NodeList;

/**
 * The memory card of a camera for the camera test: three JPEG photos in DCIM/100TEST, and beside
 * them, for each photo, its pixels as ImageIO decodes them, which the test compares with the
 * pages that arrive through the TWAIN source.
 *
 * <p>Usage: CameraCard CARD_FOLDER DECODED_FOLDER. Each decoded file holds the width and the
 * height (32-bit little-endian) and then red, green and blue of every pixel, row by row from the
 * top.
 */
public final class CameraCard {
    private CameraCard() {}

    private record Photo(String name, int width, int height, int type) {}

    private static final Photo[] PHOTOS = {
        new Photo("IMG_0001.JPG", 640, 480, BufferedImage.TYPE_INT_RGB),
        // An odd width: every DIB row carries padding.
        new Photo("IMG_0002.JPG", 333, 217, BufferedImage.TYPE_INT_RGB),
        new Photo("IMG_0003.JPG", 150, 101, BufferedImage.TYPE_BYTE_GRAY),
    };

    public static void main(String[] args) throws IOException {
        if (args.length != 2) {
            System.err.println("usage: CameraCard CARD_FOLDER DECODED_FOLDER");
            System.exit(2);
        }
        final File photos = new File(args[0], "DCIM/100TEST");
        final File decoded = new File(args[1]);
        Files.createDirectories(photos.toPath());
        Files.createDirectories(decoded.toPath());
        for (Photo photo : PHOTOS) {
            final File jpeg = new File(photos, photo.name());
            writeJpeg(draw(photo), jpeg);
            writeDecoded(ImageIO.read(jpeg), new File(decoded, photo.name() + ".rgb"));
        }
    }

    // Gradients, hard edges and colours, so that a wrong row order, channel order, row padding or
    // offset shows in many pixels.
    private static BufferedImage draw(Photo photo) {
        final BufferedImage image = new BufferedImage(photo.width(), photo.height(), photo.type());
        final Graphics2D g = image.createGraphics();
        final int w = photo.width(), h = photo.height();
        g.setPaint(new GradientPaint(0, 0, new Color(20, 40, 200), w, h, new Color(240, 220, 30)));
        g.fillRect(0, 0, w, h);
        g.setColor(Color.RED);
        g.fillRect(w / 8, h / 8, w / 3, h / 4);
        g.setColor(Color.WHITE);
        g.fillOval(w / 2, h / 2, w / 3, h / 3);
        g.setColor(Color.BLACK);
        g.fillRect(0, 0, w, 3);
        g.fillRect(0, h - 5, w / 2, 5);
        g.dispose();
        return image;
    }

    // Colour is stored at full resolution (4:4:4). With the usual halved chroma, each decoder
    // fills in the missing samples its own way: libjpeg 6b in the JDK and later libjpegs differ
    // by tens of levels at every colour edge, which says nothing about how a page travels.
    private static void writeJpeg(BufferedImage image, File file) throws IOException {
        final ImageWriter writer = ImageIO.getImageWritersByFormatName("jpeg").next();
        final ImageWriteParam param = writer.getDefaultWriteParam();
        param.setCompressionMode(ImageWriteParam.MODE_EXPLICIT);
        param.setCompressionQuality(0.95f);
        final IIOMetadata metadata =
                writer.getDefaultImageMetadata(new ImageTypeSpecifier(image), param);
        final String format = "javax_imageio_jpeg_image_1.0";
        final Node tree = metadata.getAsTree(format);
        final NodeList components = ((Element) tree).getElementsByTagName("componentSpec");
        for (int i = 0; i < components.getLength(); ++i) {
            final Element component = (Element) components.item(i);
            component.setAttribute("HsamplingFactor", "1");
            component.setAttribute("VsamplingFactor", "1");
        }
        metadata.setFromTree(format, tree);
        Files.deleteIfExists(file.toPath());
        try (ImageOutputStream out = ImageIO.createImageOutputStream(file)) {
            writer.setOutput(out);
            writer.write(null, new IIOImage(image, null, metadata), param);
        } finally {
            writer.dispose();
        }
    }

    // The raster's own samples: a grey photo gives its grey in all three channels, as a decoder
    // asked for RGB gives it, without the colour-space conversion getRGB would apply to it.
    private static void writeDecoded(BufferedImage image, File file) throws IOException {
        final Raster raster = image.getRaster();
        final int bands = raster.getNumBands();
        final int w = image.getWidth(), h = image.getHeight();
        try (DataOutputStream out = new DataOutputStream(new FileOutputStream(file))) {
            out.writeInt(Integer.reverseBytes(w));
            out.writeInt(Integer.reverseBytes(h));
            final int[] pixel = new int[bands];
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x) {
                    raster.getPixel(x, y, pixel);
                    for (int c = 0; c < 3; ++c) out.writeByte(pixel[bands == 1 ? 0 : c]);
                }
            }
        }
    }
}
